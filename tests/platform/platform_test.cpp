#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <vector>

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
    // The bus word read back, as a capture files it; a colon of the node is no bus word.
    EXPECT_EQ(BusOfPath("sbp2:/dev/sdd"), "sbp2");
    EXPECT_EQ(BusOfPath("/dev/sdb"), "other");
    EXPECT_EQ(BusOfPath("/dev/disk/by-path/pci-0000:00:1f.2-ata-1"), "other");
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

TEST(DiskPaths, SysfsListsWholeDisksInNameOrder) {
    test::ScopedTempDir dir;
    const fs::path root = dir.path();
    auto add = [&](const std::string& name, const std::string& device_dir) {
        fs::create_directories(root / device_dir / name);
        fs::create_directories(root / "block");
        // Relative, as the kernel makes them.
        fs::create_directory_symlink(fs::path("..") / device_dir / name, root / "block" / name);
    };
    add("sdb", "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block");
    add("sda", "devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block");
    add("sdaa", "devices/pci0000:00/0000:00:03.0/host2/target2:0:0/2:0:0:0/block");
    add("loop0", "devices/virtual/block");
    add("cciss!c0d0", "devices/pci0000:00/0000:00:05.0/cciss0/c0d0/block");
    // The old layout: the disk's own directory, no link.
    fs::create_directories(root / "block" / "hda");
    const auto disks = ListDisksFromSysfs(root.string());
    ASSERT_EQ(disks.size(), 5u);
    EXPECT_EQ(disks[0].path, "other:/dev/hda");
    EXPECT_EQ(disks[1].path, "ide:/dev/sda");
    EXPECT_EQ(disks[2].path, "usb:/dev/sdb");
    EXPECT_EQ(disks[3].path, "other:/dev/cciss/c0d0");
    EXPECT_EQ(disks[4].path, "scsi:/dev/sdaa");
}

// /proc/self/mountinfo, /proc/swaps and sysfs as a machine shows them whose sda carries the root
// file system, a swap area and a RAID member, while sdb is another disk's.
TEST(DiskUse, MountsSwapsAndHoldersOfTheDiskAndItsPartitionsAreNamed) {
    BlockDisk sda;
    sda.disk = {"sda", "8:0", {}};
    sda.partitions = {{"sda1", "8:1", {}},
                      {"sda2", "8:2", {}},
                      {"sda3", "8:3", {"md127"}},
                      {"sda4", "8:4", {}},
                      {"sda5", "8:5", {}}};
    const std::string mountinfo =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
        "23 22 0:21 / /proc rw,nosuid - proc proc rw\n"
        "30 22 8:17 / /srv rw,relatime shared:9 - ext4 /dev/sdb1 rw\n"
        // btrfs reports a number of its own; its source names the partition.
        "31 22 0:45 /@home /home rw shared:10 - btrfs /dev/sda4 rw,subvol=/@home\n"
        "32 22 8:5 / /media/my\\040data rw master:3 - vfat /dev/sda5 rw\n"
        "33 22 8:5 /photos /srv/photos rw - vfat /dev/sda5 rw\n";
    const std::string swaps =
        "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n"
        "/dev/sda2                               partition\t8388604\t\t0\t\t-2\n"
        "/dev/sdb2                               partition\t1048572\t\t0\t\t-3\n"
        "/swapfile                               file\t\t524284\t\t0\t\t-4\n";
    const auto use = DiskUseFrom(sda, mountinfo, swaps);
    EXPECT_EQ(use.partitions, (std::vector<std::string>{"/dev/sda1", "/dev/sda2", "/dev/sda3",
                                                        "/dev/sda4", "/dev/sda5"}));
    using Kind = DiskUser::Kind;
    EXPECT_EQ(use.users, (std::vector<DiskUser>{{Kind::Mount, "/dev/sda1", "/"},
                                                {Kind::Mount, "/dev/sda4", "/home"},
                                                {Kind::Mount, "/dev/sda5", "/media/my data"},
                                                {Kind::Mount, "/dev/sda5", "/srv/photos"},
                                                {Kind::Swap, "/dev/sda2", ""},
                                                {Kind::Holder, "/dev/sda3", "md127"}}));
    EXPECT_TRUE(use.HoldsRoot());

    // A file system on the whole disk, and a disk nothing uses.
    BlockDisk sdb;
    sdb.disk = {"sdb", "8:16", {}};
    EXPECT_EQ(DiskUseFrom(sdb, "40 22 8:16 / /mnt/raw rw - ext2 /dev/sdb rw\n", "").users,
              (std::vector<DiskUser>{{Kind::Mount, "/dev/sdb", "/mnt/raw"}}));
    EXPECT_FALSE(DiskUseFrom(sdb, mountinfo, swaps).InUse());
}

TEST(DiskUse, SysfsGivesTheWholeDiskOfAPartitionWithItsHolders) {
    test::ScopedTempDir dir;
    const fs::path root = dir.path();
    const fs::path disk = root / "devices/pci0000:00/0000:00:1f.2/ata1/host0/block/sdc";
    const auto write = [](const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    };
    write(disk / "dev", "8:32");
    write(disk / "sdc1/dev", "8:33");
    write(disk / "sdc1/partition", "1");
    write(disk / "sdc2/dev", "8:34");
    write(disk / "sdc2/partition", "2");
    fs::create_directories(disk / "sdc2/holders/dm-0");
    fs::create_directories(disk / "holders");
    write(root / "class/block/dm-0/dm/name", "vg0-home");
    fs::create_directories(root / "dev/block");
    fs::create_directory_symlink(disk / "sdc2", root / "dev/block/8:34");

    const auto read = ReadBlockDisk(root.string(), "8:34");
    EXPECT_EQ(read.disk.name, "sdc");
    EXPECT_EQ(read.disk.number, "8:32");
    ASSERT_EQ(read.partitions.size(), 2u);
    EXPECT_EQ(read.partitions[0].name, "sdc1");
    EXPECT_EQ(read.partitions[1].holders, (std::vector<std::string>{"dm-0 (vg0-home)"}));
    EXPECT_TRUE(ReadBlockDisk(root.string(), "8:99").disk.name.empty());
}

TEST(NamedObjects, SecondInstanceSeesTheFirst) {
    const std::string name = "test-" + std::to_string(::getpid());
    InstanceGuard first(name);
    EXPECT_EQ(first.error(), "");
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
    ASSERT_TRUE(ReplaceFile(
        report, {reinterpret_cast<const std::uint8_t*>(first.data()), first.size()}, error));
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
    std::string error;
    EXPECT_FALSE(ReplaceFile(dir.File("sysread.raw"), {&byte, 1}, error));
    EXPECT_FALSE(AppendToFile(dir.File("sysread.raw"), {&byte, 1}));
    EXPECT_EQ(test::ReadAll(dir.File("victim")).size(), 4u);
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// A name hard-linked to another file is replaced, not written into, and keeps its mode; a new
// file has the umask's (never a forced 0644).
TEST(Files, AReplacedFileKeepsItsModeAndANewOneHasTheUmasks) {
    test::ScopedTempDir dir;
    std::string error;
    const std::vector<std::uint8_t> bytes(8, 0x41);
    { std::ofstream(dir.File("victim")) << "keep"; }
    ASSERT_EQ(::link(dir.File("victim").c_str(), dir.File("capture.json").c_str()), 0);
    ::chmod(dir.File("capture.json").c_str(), 0600);
    const mode_t old_mask = ::umask(027);
    ASSERT_TRUE(ReplaceFile(dir.File("capture.json"), bytes, error)) << error;
    ASSERT_TRUE(ReplaceFile(dir.File("new.prom"), bytes, error)) << error;
    ::umask(old_mask);
    EXPECT_EQ(test::ReadAll(dir.File("victim")).size(), 4u);
    EXPECT_EQ(ModeOf(dir.File("capture.json")), 0600u);
    EXPECT_EQ(ModeOf(dir.File("new.prom")), 0640u);
}

// A device the user names (here /dev/null's numbers) is written to; one the tool names is refused.
TEST(Files, ACharacterDeviceIsWrittenToOnlyWhereAnOptionNamesIt) {
    test::ScopedTempDir dir;
    if (::mknod(dir.File("nd").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "making a device node needs root";
    std::string error;
    const std::vector<std::uint8_t> bytes(8, 0x41);
    EXPECT_FALSE(ReplaceFile(dir.File("nd"), bytes, error));
    EXPECT_EQ(error,
              "Cannot write " + dir.File("nd") + ": It is a character device, not a regular file");
    EXPECT_TRUE(ReplaceFile(dir.File("nd"), bytes, error, OutputTarget::FileOrStream)) << error;
    EXPECT_TRUE(fs::is_character_file(dir.File("nd")));
}

TEST(Files, ReadIsBounded) {
    test::ScopedTempDir dir;
    { std::ofstream(dir.File("big")) << std::string(1000, 'z'); }
    std::string error;
    bool cut = false;
    const auto bytes = ReadFileHead(dir.File("big"), 100, error, cut);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 100u);
    EXPECT_TRUE(cut);
    ASSERT_TRUE(ReadFileHead(dir.File("big"), 1000, error, cut));
    EXPECT_FALSE(cut);
    EXPECT_FALSE(ReadFileBytes(dir.File("big"), 999, error));
    EXPECT_EQ(error, dir.File("big") + " is larger than the limit of 999 bytes");
    EXPECT_FALSE(ReadFileBytes(dir.File("none"), 100, error));
    EXPECT_NE(error.find("none"), std::string::npos);
}

TEST(NamedObjects, LocksLiveInADirectoryNoOtherUserCanWriteTo) {
    test::ScopedTempDir dir;
    std::string error;
    const std::string mine = dir.File("locks");
    ASSERT_TRUE(UsePrivateDirectory(mine, error)) << error;
    EXPECT_EQ(fs::status(mine).permissions() & fs::perms::all, fs::perms::owner_all);
    // Open to others: anyone could plant or hold the lock files.
    const std::string open_dir = dir.File("open");
    fs::create_directory(open_dir);
    fs::permissions(open_dir, fs::perms::all);
    EXPECT_FALSE(UsePrivateDirectory(open_dir, error));
    EXPECT_NE(error.find("belongs to another user or is writable by others"), std::string::npos);
    EXPECT_EQ(InstanceGuard("x", open_dir).state(), InstanceGuard::State::Failed);
    // A link in the place of the directory is not followed.
    fs::create_directory_symlink(mine, dir.File("link"));
    EXPECT_FALSE(UsePrivateDirectory(dir.File("link"), error));
    if (::geteuid() == 0) {
        // Made by another user first (the old guard was free for anyone to take).
        const std::string theirs = dir.File("theirs");
        fs::create_directory(theirs);
        fs::permissions(theirs, fs::perms::owner_all, fs::perm_options::replace);
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(UsePrivateDirectory(theirs, error));
        EXPECT_EQ(InstanceGuard("VTUtil", theirs).state(), InstanceGuard::State::Failed);
    }
    const auto standard = PrivateLockDirectory(error);
    ASSERT_TRUE(standard) << error;
    EXPECT_EQ(*standard, ::geteuid() == 0 ? "/run/vtutility" : *standard);
}

// A user without XDG_RUNTIME_DIR whose /tmp name another user made first is not locked out: every
// process of that user falls back to the same directory of their own, and the guard holds there.
TEST(NamedObjects, ATakenSharedNameFallsBackToTheUsersOwnDirectory) {
    constexpr uid_t kUser = 64999;  // an id no account uses, so no real directory is touched
    const std::string shared = "/tmp/vtutility-" + std::to_string(kUser);
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    if (fs::exists(shared)) GTEST_SKIP() << shared << " exists already";
    test::ScopedTempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_exec);
    const std::string home = dir.File("home");
    fs::create_directory(home);
    ASSERT_EQ(::chown(home.c_str(), kUser, kUser), 0);
    fs::create_directory(shared);  // taken: root's, not the user's
    const pid_t child = ::fork();
    if (child == 0) {
        ::unsetenv("XDG_RUNTIME_DIR");
        ::unsetenv("XDG_CACHE_HOME");
        ::setenv("HOME", home.c_str(), 1);
        if (::setgid(kUser) != 0 || ::setuid(kUser) != 0) ::_exit(10);
        std::string error;
        const auto found = PrivateLockDirectory(error);
        if (!found || found->rfind(home + "/.cache/vtutility-locks-", 0) != 0) ::_exit(11);
        const InstanceGuard first("VTUtil");
        if (first.state() != InstanceGuard::State::Created) ::_exit(12);
        const pid_t second = ::fork();
        if (second == 0) {
            const InstanceGuard again("VTUtil");
            ::_exit(again.state() == InstanceGuard::State::AlreadyExists ? 0 : 13);
        }
        int status = 0;
        ::waitpid(second, &status, 0);
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 14);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    fs::remove(shared);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
}

// Lock files that are removed when free: processes that open the file while its holder removes
// it must not take a lock on the removed file beside one on the new file.
TEST(NamedObjects, ARemovableLockFileExcludesAndIsGoneWhenFree) {
    test::ScopedTempDir dir;
    const std::string lock = dir.File("drive.lock");
    const std::string inside = dir.File("inside");
    std::vector<pid_t> children;
    for (int c = 0; c < 4; ++c) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (int i = 0; i < 300; ++i) {
                const int fd = LockRemovableFile(lock, 10000);
                if (fd < 0) ::_exit(1);
                // A second holder at the same time finds the mark there.
                const int mark = ::open(inside.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
                if (mark < 0) ::_exit(2);
                ::close(mark);
                ::unlink(inside.c_str());
                ReleaseRemovableFile(lock, fd);
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
    }
    EXPECT_FALSE(fs::exists(lock));
}

TEST(NamedObjects, TheGuardIsAFileLockAnotherProcessSees) {
    test::ScopedTempDir dir;
    const std::string locks = dir.File("locks");
    InstanceGuard first("VTUtil", locks);
    ASSERT_EQ(first.state(), InstanceGuard::State::Created) << first.error();
    // A child process (another network namespace would see the same file).
    const pid_t child = ::fork();
    if (child == 0) {
        InstanceGuard second("VTUtil", locks);
        ::_exit(second.state() == InstanceGuard::State::AlreadyExists ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(NamedObjects, AMutexHeldElsewhereIsWaitedForABoundedTime) {
    test::ScopedTempDir dir;
    const std::string locks = dir.File("locks");
    NamedMutex mine("DBGAcess", locks);
    ASSERT_TRUE(mine.IsValid()) << mine.error();
    // Another holder of the same lock file (the old one could be held by any user, forever).
    const int other = OpenLockFile(locks + "/DBGAcess.lock");
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_SH), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(mine.Lock(200));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(mine.error().find("DBGAcess.lock, held by another process"), std::string::npos)
        << mine.error();
    ::close(other);
    EXPECT_TRUE(mine.Lock(200));
    mine.Unlock();
}

TEST(Files, ReadsRefuseWhatIsNotARegularFile) {
    test::ScopedTempDir dir;
    std::string error;
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    // A FIFO with no writer: the old open blocked for ever.
    EXPECT_FALSE(ReadFileBytes(dir.File("fifo"), 100, error));
    EXPECT_EQ(error, dir.File("fifo") + " is not a regular file");
    EXPECT_FALSE(ReadFileBytes(dir.path(), 100, error));
    EXPECT_FALSE(ReadFileBytes("/dev/zero", 100, error));
    EXPECT_EQ(error, "/dev/zero is not a regular file");
    { std::ofstream(dir.File("real")) << "data"; }
    fs::create_symlink(dir.File("real"), dir.File("link"));
    EXPECT_FALSE(ReadFileBytes(dir.File("link"), 100, error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos);
    EXPECT_TRUE(ReadFileBytes(dir.File("real"), 100, error));
}

TEST(Files, WritesToAFifoNeitherBlockNorDeliver) {
    test::ScopedTempDir dir;
    const std::string fifo = dir.File("DbgMsg.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::uint8_t byte = 1;
    std::string error;
    EXPECT_FALSE(AppendToFile(fifo, {&byte, 1}));
    EXPECT_FALSE(ReplaceFile(fifo, {&byte, 1}, error));
    // With a reader on the other end the open succeeds; the bytes must still not go there.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(ReplaceFile(fifo, {&byte, 1}, error));
    std::uint8_t got = 0;
    EXPECT_LE(::read(reader, &got, 1), 0);
    ::close(reader);
}

TEST(Files, ReplacementFileIsRemovedWhenASignalEndsTheProcess) {
    test::ScopedTempDir dir;
    for (const int signal_number : {SIGINT, SIGTERM}) {
        const std::string target = dir.File("out.decode");
        const pid_t child = ::fork();
        if (child == 0) {
            ReplacementFile file(target);
            const std::uint8_t byte = 7;
            (void)file.Write({&byte, 1});
            ::raise(signal_number);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
        EXPECT_TRUE(fs::is_empty(dir.path())) << signal_number;
    }
    ReplacementFile kept(dir.File("kept"));
    const std::uint8_t byte = 7;
    ASSERT_TRUE(kept.Write({&byte, 1}));
    ASSERT_TRUE(kept.Commit()) << kept.error();
    EXPECT_EQ(test::ReadAll(dir.File("kept")).size(), 1u);
}

}  // namespace
}  // namespace vt::platform
