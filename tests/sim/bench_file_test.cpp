// Bench files: refused with a message naming the file, the key and the problem; every raw key of
// the format reaches the drive, and a raw region wins over what the bench generates.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "access/dispatch.h"
#include "sim/bench.h"
#include "sim/json_reader.h"
#include "tests/sim/bench_fixture.h"
#include "tests/support/fake_backend.h"
#include "tests/support/test_system.h"

namespace vt::test {
namespace {

using nlohmann::json;

std::string Write(const ScopedTempDir& dir, const std::string& name, const std::string& text) {
    std::ofstream(dir.File(name), std::ios::binary) << text;
    return dir.File(name);
}

std::string Refusal(const std::string& text) {
    ScopedTempDir dir;
    const std::string path = Write(dir, "bench.json", text);
    std::string error;
    EXPECT_EQ(sim::LoadBenchFile(path, error), nullptr);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    return error;
}

TEST(BenchFile, RefusalsNameTheKeyAndTheProblem) {
    EXPECT_NE(Refusal("{\"drives\": [").find("not valid JSON"), std::string::npos);
    EXPECT_NE(
        Refusal(R"({"drives": [{"bus": "sata"}]})").find("drives[0].bus: unknown value \"sata\""),
        std::string::npos);
    EXPECT_NE(Refusal(R"({"drives": [{}]})").find("drives[0].bus: missing"), std::string::npos);
    EXPECT_NE(Refusal(R"({"drives": [{"bus": "ide", "identify": "ECZZ"}]})")
                  .find("drives[0].identify: not hexadecimal"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"drives": [{"bus": "ide", "spi_flash": {"file": "missing.bin"}}]})")
                  .find("drives[0].spi_flash.file: cannot read the file"),
              std::string::npos);
    EXPECT_NE(
        Refusal(
            R"({"drives": [{"bus": "ide", "faults": [{"op": "ata:EC", "effect": "explode"}]}]})")
            .find("drives[0].faults[0].effect: unknown value \"explode\""),
        std::string::npos);
    EXPECT_NE(Refusal(R"({"drives": [{"bus": "ide", "memory": {"3:zero": "00"}}]})")
                  .find("drives[0].memory.3:zero: not a number"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"drives": [{"bus": "ide", "idenitfy": "00"}]})")
                  .find("drives[0].idenitfy: unknown key"),
              std::string::npos);
    EXPECT_NE(
        Refusal(R"({"drives": [{"bus": "ide", "bridge": "older"}]})").find("drives[0].bridge"),
        std::string::npos);
    EXPECT_NE(
        Refusal(
            R"({"drives": [{"bus": "ide", "model": "K38", "bad_blocks": {"later": [{"channel": 9, "ce": 0, "unit": 1}]}}]})")
            .find("drives[0].bad_blocks.later[0].channel: out of range"),
        std::string::npos);
    std::string error;
    EXPECT_EQ(sim::LoadBenchFile("/nonexistent/bench.json", error), nullptr);
    EXPECT_NE(error.find("/nonexistent/bench.json"), std::string::npos);
}

TEST(BenchFile, BlobForms) {
    ScopedTempDir dir;
    Write(dir, "flash.bin", std::string("\x01\x02\x03\x04", 4));
    const std::string path = Write(dir, "bench.json", R"({"drives": [{"bus": "ide",
        "spi_flash": {"file": "flash.bin", "size": 8, "fill": "EE", "patches": [{"at": "0x6", "ascii": "Z"}]},
        "dram_layout": "0A 0b\n0C",
        "status_sector": {"ascii": "VT", "patches": [{"at": 4, "hex": "99"}]}}]})");
    std::string error;
    auto backend = sim::LoadBenchFile(path, error);
    ASSERT_TRUE(backend) << error;
    const auto& config = sim::BenchOf(*backend).Drive(0).Config();
    EXPECT_EQ(*config.spi_flash, (sim::Bytes{1, 2, 3, 4, 0xEE, 0xEE, 'Z', 0xEE}));
    EXPECT_EQ(*config.dram_layout, (sim::Bytes{0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(config.status_sector[1], 'T');
    EXPECT_EQ(config.status_sector[4], 0x99);
    EXPECT_EQ(config.status_sector.size(), 512u);
    EXPECT_TRUE(config.vendor);  // a vendor region makes a vendor disk
}

class RawKeys : public BenchTest {};

TEST_F(RawKeys, IdentityKeys) {
    json drives = json::array({
        {{"bus", "ide"},
         {"identify",
          {{"size", 512}, {"hex", "4000"}, {"patches", {{{"at", 54}, {"ascii", "XA"}}}}}},
         {"loader_identify", {{"size", 512}, {"patches", {{{"at", 54}, {"ascii", "oLdare"}}}}}},
         {"mode", "loader"},
         {"capacity_sectors", 123}},
        {{"bus", "usb"},
         {"bridge", "older"},
         {"vendor", true},
         {"inquiry", {{"size", 40}, {"patches", {{{"at", 36}, {"ascii", "qK2x"}}}}}},
         {"loader_inquiry", {{"size", 40}, {"patches", {{{"at", 8}, {"ascii", "LOADER"}}}}}}},
    });
    Install(drives);
    std::array<std::uint8_t, 512> id{};
    ASSERT_EQ(Identify(0, id), 1);
    EXPECT_EQ(ModelOf(id).substr(0, 6), "Loader");  // the loader answers while the drive sits in it
    ASSERT_EQ(Unlock(0), 1);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x83, {1}), false, {}, 0));
    ASSERT_EQ(Identify(0, id), 1);
    EXPECT_EQ(ModelOf(id).substr(0, 2), "AX");
    EXPECT_EQ(drive(0).Config().capacity_sectors, 123u);

    const Block inquiry = {0x12, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0};
    std::array<std::uint8_t, 40> answer{};
    ASSERT_EQ(DispatchCommand(1, true, inquiry, answer, 40), 1);
    EXPECT_EQ(std::memcmp(answer.data() + 36, "qK2x", 4), 0);
    ASSERT_TRUE(Vendor(1, VendorBlock(0x83, {0}), false, {}, 0));
    ASSERT_EQ(DispatchCommand(1, true, inquiry, answer, 40), 1);
    EXPECT_EQ(std::memcmp(answer.data() + 8, "LOADER", 6), 0);
}

TEST_F(RawKeys, RegionsReachTheirCommands) {
    Install(json::array(
        {{{"bus", "ide"},
          {"model", "K38"},
          {"status_sector", "E5565401"},
          {"memory", {{"3:0x0", "5858"}, {"2:0x1000", "AABB"}}},
          {"system_pages",
           {{"1:0x20:3", {{"size", 8192}, {"patches", {{{"at", 4096}, {"hex", "5A"}}}}}}}},
          {"flash_pages", {{"1:0:0x300:7", "0102"}}},
          {"bad_unit_lists", {{"2:1", "00000000010000000700"}}},
          {"erase_counts", {{"3:1", "0000000002000000"}}},
          {"smart_data", "0A00"},
          {"smart_thresholds", "0B00"},
          {"spi_flash", "00112233"},
          {"dram_layout", "0000000001"},
          {"registers", {{"0x1F002000", 66}}}}}));
    ASSERT_EQ(Unlock(0), 1);
    EXPECT_FALSE(StatusSignature(0));  // the raw status sector wins: E5 56 54 01
    std::array<std::uint8_t, 4096> page{};
    ASSERT_TRUE(Vendor(0, VendorBlock(0x86, {3}), true, page, 1));
    EXPECT_EQ(std::memcmp(page.data(), "XXBK BLOCKS V50", 16),
              0);  // raw bytes over the generated block
    ASSERT_TRUE(Vendor(0, VendorBlock(0x86, {2, 0, 0, 0x0F, 0xFF}), true, page, 1));
    EXPECT_EQ(page[1], 0xAA);
    EXPECT_EQ(page[2], 0xBB);
    // A system page read at byte offset 4096 starts where that offset is.
    ASSERT_TRUE(Vendor(0, VendorBlock(0x04, {0xFF, 1, 0, 0x20, 0, 3, 0, 0, 0, 0, 0, 0x10, 0}), true,
                       page, 1));
    EXPECT_EQ(page[0], 0x5A);
    // A flash page reads from its first byte, whatever the offset.
    ASSERT_TRUE(Vendor(0, VendorBlock(0x89, {1, 0, 0x03, 0, 0, 7, 0, 0, 32, 0, 0, 0x40, 0}), true,
                       page, 1));
    EXPECT_EQ(page[0], 0x01);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x00, {2, 1}), true, page, 1));
    EXPECT_EQ(page[8], 0x07);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x01, {3, 1}), true, page, 1));
    EXPECT_EQ(page[4], 0x02);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x0B, {0, 0, 0, 1, 0, 0, 0, 2}), true, page, 1));
    EXPECT_EQ(page[0], 0x11);
    EXPECT_EQ(page[1], 0x22);
    EXPECT_EQ(page[2], 0x00);  // only the length asked for
    ASSERT_TRUE(Vendor(0, VendorBlock(0x20), true, page, 1));
    EXPECT_EQ(page[4], 0x01);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x84, {0x1F, 0, 0x20, 0}), true, page, 1));
    EXPECT_EQ(page[1], 66);

    std::array<std::uint8_t, 512> sector{};
    const Block data = {0xA1, 0x08, 0x0B, 0xD0, 1, 0, 0x4F, 0xC2, 0, 0xB0, 0, 0};
    ASSERT_EQ(DispatchCommand(0, true, data, sector, 512), 1);
    EXPECT_EQ(sector[0], 0x0A);
    const Block thresholds = {0xA1, 0x08, 0x0B, 0xD1, 1, 0, 0x4F, 0xC2, 0, 0xB0, 0, 0};
    ASSERT_EQ(DispatchCommand(0, true, thresholds, sector, 512), 1);
    EXPECT_EQ(sector[0], 0x0B);
}

TEST_F(RawKeys, BridgeSmartAndTheVendorSwitch) {
    Install(
        json::array({{{"bus", "usb"}, {"bridge", "older"}, {"vendor", true}, {"smart_usb", "0C"}},
                     {{"bus", "ide"}, {"model", "K38"}, {"vendor", false}}}));
    std::array<std::uint8_t, 512> sector{};
    ASSERT_TRUE(Vendor(0, VendorBlock(0x05), true, sector, 1));
    EXPECT_EQ(sector[0], 0x0C);
    EXPECT_NE(Unlock(1), 1);
}

TEST_F(RawKeys, ShippedBenchFileLoads) {
    const char* source = VT_SOURCE_DIR;
    std::string error;
    auto backend = sim::LoadBenchFile(std::string(source) + "/sim/benches/two-drives.json", error);
    ASSERT_TRUE(backend) << error;
    Install(std::move(backend));
    ASSERT_EQ(Unlock(0), 1);
    EXPECT_TRUE(StatusSignature(0));
    std::array<std::uint8_t, 512> id{};
    ASSERT_EQ(Identify(1, id), 1);
    EXPECT_EQ(ModelOf(id), "Vantrel Raw drive");
    ASSERT_EQ(Unlock(1), 1);
    std::array<std::uint8_t, 512> page{};
    ASSERT_TRUE(Vendor(1, VendorBlock(0x86, {3}), true, page, 1));
    EXPECT_EQ(std::memcmp(page.data(), "LDBK BLOCKS V40", 15), 0);
}

class DemoDrives : public BenchTest {};

TEST_F(DemoDrives, EachAnswersAsItsKind) {
    Install(sim::MakeDemoBench());
    for (const unsigned vendor_drive : {0u, 1u, 2u, 4u}) {
        ASSERT_EQ(Unlock(vendor_drive), 1) << vendor_drive;
        EXPECT_TRUE(StatusSignature(vendor_drive)) << vendor_drive;
    }
    EXPECT_NE(Unlock(3), 1);  // the other maker's disk
    std::array<std::uint8_t, 512> id{};
    ASSERT_EQ(Identify(4, id), 1);
    EXPECT_EQ(ModelOf(id), "Vantrel VTFK3X SATA SSD Loader Device");
    const Block inquiry = {0x12, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0};
    std::array<std::uint8_t, 40> answer{};
    ASSERT_EQ(DispatchCommand(5, true, inquiry, answer, 40), 1);
    EXPECT_EQ(std::memcmp(answer.data() + 36, "FK1X", 4), 0);
    ASSERT_EQ(DispatchCommand(6, true, inquiry, answer, 40), 1);
    EXPECT_EQ(std::memcmp(answer.data() + 36, "q701", 4), 0);
    ASSERT_EQ(Unlock(6), 1);
    std::array<std::uint8_t, 512> status{};
    EXPECT_NE(CarrierRead(6, 0xFF, status, 1, 2), 1);
    EXPECT_EQ(CarrierRead(6, 0xFF, status, 1, 1), 1);
}

TEST(DemoBench, ListsEveryKindOfDiskInOrder) {
    auto backend = sim::MakeDemoBench();
    const auto disks = backend->ListDisks();
    std::vector<std::string> buses;
    for (const auto& disk : disks) buses.push_back(disk.bus);
    EXPECT_EQ(buses, (std::vector<std::string>{"ide", "ide", "scsi", "ide", "ide", "usb", "usb"}));
    EXPECT_EQ(disks[0].path, "ide:/dev/sda");
    for (const auto& disk : disks) EXPECT_GE(backend->Open(disk.path), 0) << disk.path;
}

TEST(BenchFileLimits, HostileDocumentsAreRefusedWithABoundedMessage) {
    // Nesting: the choice key's value was dumped whole into the message, recursively.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string nested = Refusal(R"({"drives": [{"bus": )" + deep + "}]}");
    EXPECT_NE(nested.find("nested deeper than"), std::string::npos) << nested.substr(0, 200);
    EXPECT_LT(nested.size(), 400u);
    const std::string shallow = Refusal(R"({"drives": [{"bus": [[1]]}]})");
    EXPECT_NE(shallow.find("drives[0].bus: unknown value of type array"), std::string::npos)
        << shallow;
    const std::string long_word =
        Refusal(R"({"drives": [{"bus": ")" + std::string(100000, 'x') + "\"}]}");
    EXPECT_LT(long_word.size(), 400u);

    // Found by the fuzz target: a number past every type escaped the reader as an exception.
    EXPECT_NE(Refusal(R"({"drives": [{"bus": 3e4444444}]})").find("not valid JSON"),
              std::string::npos);
    EXPECT_NE(Refusal(R"({"drives": [{"bus": "ide", "bus": "usb"}]})").find("bus: duplicate key"),
              std::string::npos);
    EXPECT_NE(
        Refusal(R"({"drives": [{"bus": "ide", "capacity_sectors": 99999999999999999999999}]})")
            .find("drives[0].capacity_sectors: number too large"),
        std::string::npos);

    // 60 blobs of 64 MiB each in under 2 KB of text.
    std::string pages;
    for (int i = 0; i < 60; ++i) {
        pages += (i ? "," : "") + std::string("\"0:0:0:") + std::to_string(i) +
                 "\": {\"size\": 67108864}";
    }
    const std::string total =
        Refusal(R"({"drives": [{"bus": "ide", "flash_pages": {)" + pages + "}}]}");
    EXPECT_NE(total.find("exceed the limit of 268435456 bytes"), std::string::npos) << total;
}

TEST(BenchFileLimits, LongListsAreReadInOnePassAndBounded) {
    // 1 MiB of empty objects took 18 s when the end of each object searched the list holding it.
    std::string objects = "{}";
    for (int i = 1; i < 349525; ++i) objects += ",{}";
    const json parsed = sim::ParseBenchJson(R"({"_o": [)" + objects + R"(], "drives": []})");
    EXPECT_EQ(parsed["_o"].size(), 349525u);
    EXPECT_NE(Refusal(R"({"_o": [)" + objects + R"(, {"k": 1, "k": 2}], "drives": []})")
                  .find("k: duplicate key"),
              std::string::npos);

    std::string zeros = "0";
    for (std::size_t i = 0; i < sim::kMaxJsonValues; ++i) zeros += ",0";
    EXPECT_NE(Refusal(R"({"drives": [], "_z": [)" + zeros + "]}").find("document: more than"),
              std::string::npos);

    // 5,000 drives took 2 GB; the drive list shows 80.
    json drives = json::array();
    for (int i = 0; i < 81; ++i) drives.push_back({{"bus", "ide"}, {"model", "K38"}});
    EXPECT_NE(Refusal(json{{"drives", drives}}.dump())
                  .find("drives: 81 drives, more than the 80 the drive list holds"),
              std::string::npos);
    drives.erase(drives.begin());
    std::string error;
    EXPECT_NE(sim::MakeBench({{"drives", drives}}, error), nullptr) << error;
}

TEST(BenchFileLimits, OnlyARegularFileIsRead) {
    ScopedTempDir dir;
    std::string error;
    // No stream without end, no directory, no FIFO (whose open would block), no link.
    EXPECT_EQ(sim::LoadBenchFile("/dev/zero", error), nullptr);
    EXPECT_NE(error.find("/dev/zero is not a regular file"), std::string::npos) << error;
    EXPECT_EQ(sim::LoadBenchFile(dir.path(), error), nullptr);
    EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
    ASSERT_TRUE(test::MakeFifo(dir.File("fifo")));
    EXPECT_EQ(sim::LoadBenchFile(dir.File("fifo"), error), nullptr);
    EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
    const std::string real = Write(dir, "real.json", R"({"drives": [{"bus": "ide"}]})");
    std::filesystem::create_symlink(real, dir.File("link.json"));
    EXPECT_EQ(sim::LoadBenchFile(dir.File("link.json"), error), nullptr);
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    // A blob's file likewise.
    EXPECT_EQ(
        sim::LoadBenchFile(
            Write(dir, "blob.json", R"({"drives": [{"bus": "ide", "inquiry": {"file": "fifo"}}]})"),
            error),
        nullptr);
    EXPECT_NE(error.find("drives[0].inquiry.file"), std::string::npos) << error;
    EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
}

TEST(BenchFileLocks, TwoLoadsOfOneFileContendForEachDrive) {
    ScopedTempDir dir;
    const std::string path =
        Write(dir, "two.json", R"({"drives": [{"bus": "ide"}, {"bus": "ide"}]})");
    std::string error;
    auto first = sim::LoadBenchFile(path, error);
    auto second = sim::LoadBenchFile(path, error);
    ASSERT_TRUE(first && second) << error;
    const auto disks = first->ListDisks();
    ASSERT_EQ(disks.size(), 2u);
    const int held = first->LockDevice(disks[0].path, 0);
    ASSERT_GE(held, 0);
    EXPECT_EQ(second->LockDevice(disks[0].path, 50), -EWOULDBLOCK);
    const int other = second->LockDevice(disks[1].path, 0);
    EXPECT_GE(other, 0);
    first->UnlockDevice(held);
    const int after = second->LockDevice(disks[0].path, 0);
    EXPECT_GE(after, 0);
    second->UnlockDevice(after);
    second->UnlockDevice(other);

    // A copy of the file is another bench: its drives are its own.
    const std::string copy =
        Write(dir, "copy.json", R"({"drives": [{"bus": "ide"}, {"bus": "ide"}]})");
    auto third = sim::LoadBenchFile(copy, error);
    ASSERT_TRUE(third) << error;
    const int again = first->LockDevice(disks[0].path, 0);
    EXPECT_GE(third->LockDevice(disks[0].path, 0), 0);
    first->UnlockDevice(again);
}

TEST(BenchFileLocks, ADriveHeldElsewhereFailsTheOperationAsBusy) {
    ScopedTempDir dir;
    const std::string path = Write(dir, "one.json", R"({"drives": [{"bus": "ide"}]})");
    std::string error;
    auto other_process = sim::LoadBenchFile(path, error);
    ASSERT_TRUE(other_process) << error;
    const std::string disk = other_process->ListDisks()[0].path;
    const int held = other_process->LockDevice(disk, 0);
    ASSERT_GE(held, 0);
    auto mine = sim::LoadBenchFile(path, error);
    ASSERT_TRUE(mine);
    auto previous = platform::Install(std::move(mine));
    try {
        const platform::DeviceHandle handle(disk);
        ADD_FAILURE() << "the drive was opened while held";
    } catch (const platform::DeviceBusyError& busy) {
        EXPECT_EQ(std::string(busy.what()), "/dev/sda is in use by another process");
    }
    other_process->UnlockDevice(held);
    {
        // Nested holds share one lock: the command inside an operation does not wait on itself.
        const platform::DriveLock operation(disk);
        const platform::DeviceHandle command(disk);
        EXPECT_TRUE(command.IsOpen());
        EXPECT_EQ(other_process->LockDevice(disk, 0), -EWOULDBLOCK);
    }
    const int free_again = other_process->LockDevice(disk, 0);
    EXPECT_GE(free_again, 0);
    other_process->UnlockDevice(free_again);
    platform::Install(std::move(previous));
}

}  // namespace
}  // namespace vt::test
