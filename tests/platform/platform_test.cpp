#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/backend.h"
#include "platform/files.h"
#include "platform/linux_backend.h"
#include "platform/named_objects.h"
#include "tests/support/fake_backend.h"

namespace vt::platform {
namespace {

namespace fs = std::filesystem;

TEST(DiskPaths, BusWordPrefixSurvivesLowerCasing) {
    EXPECT_EQ(NodeOfPath("ide:/dev/sda"), "/dev/sda");
    EXPECT_EQ(NodeOfPath("other:/dev/nvme0n1"), "/dev/nvme0n1");
    EXPECT_EQ(NodeOfPath("/dev/sdb"), "/dev/sdb");
    EXPECT_EQ(NodeOfPath("/dev/disk/by-path/pci-0000:00:1f.2-ata-1"),
              "/dev/disk/by-path/pci-0000:00:1f.2-ata-1");
    EXPECT_EQ(PathFor("usb", "/dev/sdc"), "usb:/dev/sdc");
}

TEST(DiskPaths, BusFromSysfsPath) {
    EXPECT_EQ(BusOfSysfsPath("/sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/"
                             "0:0:0:0/block/sda"),
              "ide");
    // A USB enclosure around a SATA disk is USB, whatever ID_BUS says.
    EXPECT_EQ(BusOfSysfsPath("/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/"
                             "target6:0:0/6:0:0:0/block/sdb"),
              "usb");
    EXPECT_EQ(BusOfSysfsPath("/sys/devices/pci0000:00/0000:00:03.0/host2/target2:0:0/2:0:0:0/"
                             "block/sdc"),
              "scsi");
    EXPECT_EQ(BusOfSysfsPath("/sys/devices/pci0000:00/0000:00:1e.0/fw1/fw1.0/host3/target3:0:0/"
                             "3:0:0:0/block/sdd"),
              "sbp2");
    EXPECT_EQ(BusOfSysfsPath("/sys/devices/pci0000:00/0000:00:04.0/nvme/nvme0/nvme0n1"), "other");
    // "data" and "batch" are no ATA hosts.
    EXPECT_EQ(BusOfSysfsPath("/sys/devices/platform/data7/hostile/block/sde"), "other");
}

TEST(DiskPaths, SysfsFallbackListsWholeDisksInNameOrder) {
    test::ScopedTempDir dir;
    const fs::path root = dir.path();
    auto add = [&](const std::string& name, const std::string& device_dir) {
        fs::create_directories(root / device_dir / name);
        fs::create_directories(root / "block");
        fs::create_directory_symlink(root / device_dir / name, root / "block" / name);
    };
    add("sdb", "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block");
    add("sda", "devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block");
    add("sdaa", "devices/pci0000:00/0000:00:03.0/host2/target2:0:0/2:0:0:0/block");
    add("loop0", "devices/virtual/block");
    const auto disks = ListDisksFromSysfs(root.string());
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(disks[0].path, "ide:/dev/sda");
    EXPECT_EQ(disks[1].path, "usb:/dev/sdb");
    EXPECT_EQ(disks[2].path, "scsi:/dev/sdaa");
}

TEST(NamedObjects, SecondInstanceSeesTheFirst) {
    const std::string name = "test-" + std::to_string(::getpid());
    InstanceGuard first(name);
    ASSERT_EQ(first.state(), InstanceGuard::State::Created);
    {
        InstanceGuard second(name);
        EXPECT_EQ(second.state(), InstanceGuard::State::AlreadyExists);
    }
    EXPECT_EQ(InstanceGuard(name + "-other").state(), InstanceGuard::State::Created);
}

TEST(NamedObjects, MutexLocksAndUnlocks) {
    NamedMutex mutex("test-" + std::to_string(::getpid()));
    ASSERT_TRUE(mutex.IsValid());
    EXPECT_TRUE(mutex.Lock());
    mutex.Unlock();
}

TEST(Files, ReplaceKeepsTheOldFileWhenTheWriteFails) {
    test::ScopedTempDir dir;
    const std::string report = dir.File("report.txt");
    std::string error;
    const std::string first = "first\r\n";
    ASSERT_TRUE(ReplaceFile(report, {reinterpret_cast<const std::uint8_t*>(first.data()), first.size()},
                            error));
    EXPECT_EQ(test::ReadAll(report).size(), first.size());
    EXPECT_FALSE(ReplaceFile(dir.File("missing-dir/report.txt"), {}, error));
    EXPECT_NE(error.find("missing-dir"), std::string::npos);
    // A directory in the way of the rename: the old name is untouched, no temporary is left.
    fs::create_directory(dir.File("taken"));
    EXPECT_FALSE(ReplaceFile(dir.File("taken"), {}, error));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST(Files, WritesNeverFollowPlantedLinks) {
    test::ScopedTempDir dir;
    { std::ofstream(dir.File("victim")) << "keep"; }
    fs::create_symlink(dir.File("victim"), dir.File("sysread.raw"));
    const std::uint8_t byte = 1;
    EXPECT_FALSE(WriteWholeFile(dir.File("sysread.raw"), {&byte, 1}));
    EXPECT_FALSE(AppendToFile(dir.File("sysread.raw"), {&byte, 1}));
    EXPECT_EQ(test::ReadAll(dir.File("victim")).size(), 4u);
}

TEST(Files, ReadIsBounded) {
    test::ScopedTempDir dir;
    { std::ofstream(dir.File("big")) << std::string(1000, 'z'); }
    std::string error;
    const auto bytes = ReadFileBytes(dir.File("big"), 100, error);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 100u);
    EXPECT_FALSE(ReadFileBytes(dir.File("none"), 100, error));
    EXPECT_NE(error.find("none"), std::string::npos);
}

}  // namespace
}  // namespace vt::platform
