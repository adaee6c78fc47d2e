#include "ctrl/read_system_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "access/mode_flags.h"
#include "access/raw_dump.h"
#include "tests/ctrl/bench_drive.h"
#include "tests/support/fake_backend.h"

namespace vt {
namespace {

using test::Blob;

constexpr std::uint16_t kToshiba16KiB = 0x2813;  // 32 sectors per page
constexpr std::size_t kOddBlockOffset = 32 * 4096;

// The controller's memory copy: model, flash configuration and the four system blocks.
Blob MemoryCopy(const std::string& model, std::array<std::uint16_t, 4> sys_blocks) {
    Blob block(4096);
    block.Text(0x324, model).Put16(0x500, kToshiba16KiB).Put8(0x503, 2).Put8(0x504, 1);
    for (std::size_t i = 0; i < 4; ++i) block.Put16(0x510 + 2 * i, sys_blocks[i]);
    return block;
}

Blob FlashCopy(const std::string& signature, std::size_t size = 4096, std::size_t at = 0) {
    Blob copy(at + size);
    copy.Text(at, signature).Put8(at + 15, 0);
    copy.Text(at + 0x260, "FLASH-ON-BLOCK").Put8(at + 0x506, 5).Put8(at + 0x230, 1);
    copy.Put8(at + 0x503, 4);  // FlashConfig left 0
    copy.Put16(at + 0x238, 0x0102).Put16(at + 0x23A, 0x0304);
    return copy;
}

class ReadSystemInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SystemInfo = SystemInfoRecord{};
        RawDumpEnabled = false;
    }
    void TearDown() override {
        RawDumpEnabled = false;
        SystemInfo = SystemInfoRecord{};
    }
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(128 * 1024);
    test::ScopedTempDir dir_;
};

TEST_F(ReadSystemInfoTest, TakesTheFirstFlashCopyWithTheLoaderSignature) {
    // Blocks 10 and 12 hold no copy; odd block 21 (unit 10) holds one at the odd-block offset.
    test::BenchDrive bench(
        {{"bus", "ide"},
         {"memory", {{"3:0x0", MemoryCopy("K38", {10, 12, 21, 30}).Json()}}},
         {"system_pages",
          {{"0:5:0", Blob(4096, 0xAA).Json()},
           {"0:10:0", FlashCopy("LDBK BLOCKS V50", 4096, kOddBlockOffset).Json()},
           {"0:15:0", FlashCopy("LDBK BLOCKS V50").Json()}}}});
    ASSERT_TRUE(ReadSystemInfo(0, buffer_));
    EXPECT_EQ(EntryOf(0).SysBlock, (std::array<std::uint16_t, 4>{10, 12, 21, 30}));
    EXPECT_EQ(SystemInfo.LoaderFormat, 1);
    EXPECT_STREQ(SystemInfo.FlashModel.data(), "FLASH-ON-BLOCK");
    EXPECT_EQ(SystemInfo.IoDriveCurrent, 5);
    EXPECT_TRUE(SystemInfo.FlashCopyFound);
    EXPECT_EQ(SystemInfo.LoaderListCount, 1);
    EXPECT_EQ(SystemInfo.LoaderList[0].first, 0x0102);
    EXPECT_EQ(SystemInfo.ChannelCount, 4);  // the copy's configuration wins
    EXPECT_EQ(buffer_[0], 'L');             // the buffer holds the copy, not the memory block

    const auto log = bench.VendorLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].sub_command, 0x86);
    EXPECT_EQ(log[0].block[3], 3);  // memory space 3, address 0, 8 sectors
    EXPECT_EQ(log[0].sectors, 8u);
    const auto pages = test::VendorCommands(log, 0x04);
    ASSERT_EQ(pages.size(), 3u);  // the search stops at block 21
    EXPECT_EQ(test::BlockParam16(pages[0], 5), 5);
    EXPECT_EQ(test::BlockParam16(pages[1], 5), 6);
    EXPECT_EQ(test::BlockParam16(pages[2], 5), 10);
    EXPECT_EQ(pages[2].block[10], 1);  // layout option = LoaderFormat
    EXPECT_EQ(pages[2].sectors, 8u);
}

TEST_F(ReadSystemInfoTest, NoValidCopyStillSucceedsAndTheDumpHoldsTheLastBlockTried) {
    RawDumpEnabled = true;
    // Taken only from a flash copy: the drive read before must not lend its values.
    SystemInfo.IoDriveCurrent = 7;
    SystemInfo.FlashModel[0] = 'T';
    SystemInfo.FlashCopyFound = true;
    // The copies carry the V40 signature, but a K38 expects V50.
    test::BenchDrive bench(
        {{"bus", "ide"},
         {"memory", {{"3:0x0", MemoryCopy("K38", {10, 12, 21, 30}).Json()}}},
         {"system_pages",
          {{"0:5:0", FlashCopy("LDBK BLOCKS V40").Json()}, {"0:15:0", Blob(4096, 0x15).Json()}}}});
    ASSERT_TRUE(ReadSystemInfo(0, buffer_));
    EXPECT_EQ(SystemInfo.IoDriveCurrent, 0);
    EXPECT_EQ(SystemInfo.FlashModel[0], 0);
    EXPECT_FALSE(SystemInfo.FlashCopyFound);
    EXPECT_EQ(test::VendorCommands(bench.VendorLog(), 0x04).size(), 4u);
    const auto dump = test::ReadAll(dir_.File("sysread.raw"));
    ASSERT_EQ(dump.size(), 64u * 1024);
    EXPECT_EQ(dump[0], 0x15);
    EXPECT_EQ(dump[4095], 0x15);
    EXPECT_EQ(dump[4096], 0x00);
}

TEST_F(ReadSystemInfoTest, WritesNoFileWithRawDumpsOff) {
    test::BenchDrive bench(
        {{"bus", "ide"}, {"memory", {{"3:0x0", MemoryCopy("K38", {10, 12, 21, 30}).Json()}}}});
    ASSERT_TRUE(ReadSystemInfo(0, buffer_));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

// What the dumps wrote, could not write (a planted link) and left out past the bound is counted.
TEST_F(ReadSystemInfoTest, RawDumpsAreCountedAndStopAtTheirBound) {
    RawDumpEnabled = true;
    const std::vector<std::uint8_t> page(100, 0x5A);
    StartRawDumps({.files = 3, .bytes = 250});
    DumpRawFile("defect.raw", page);
    DumpRawFile("defect.raw", page);  // the same file again takes no more room
    std::filesystem::create_symlink("victim", "SB_0001.raw");
    DumpRawFile("SB_0001.raw", page);
    DumpRawFile("SB_0000.raw", page);
    DumpRawFile("SB_0002.raw", page);  // 300 bytes: past the bound
    DumpRawFile("SB_0003.raw", page);
    EXPECT_EQ(RawDumps().files, 2u);
    EXPECT_EQ(RawDumps().bytes, 200u);
    EXPECT_FALSE(std::filesystem::exists("victim"));
    EXPECT_FALSE(std::filesystem::exists("SB_0002.raw"));
    const auto problems = RawDumpProblems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("SB_0001.raw: It is a symbolic link"), std::string::npos);
    EXPECT_NE(problems[1].find("2 more dumps were not written"), std::string::npos);
}

TEST_F(ReadSystemInfoTest, AFailedMemoryReadChangesNothing) {
    SystemInfo.FlashConfig = 0x1234;
    test::BenchDrive bench({{"bus", "ide"},
                            {"memory", {{"3:0x0", MemoryCopy("K38", {10, 12, 21, 30}).Json()}}},
                            {"faults", {{{"op", "vendor:86"}, {"effect", "fail"}}}}});
    EXPECT_FALSE(ReadSystemInfo(0, buffer_));
    EXPECT_EQ(SystemInfo.FlashConfig, 0x1234);
    EXPECT_EQ(EntryOf(0).SysBlock[0], 0);
    EXPECT_TRUE(test::VendorCommands(bench.VendorLog(), 0x04).empty());

    // A work buffer smaller than a page read needs is refused before anything is sent.
    bench.bench().ClearLog();
    std::vector<std::uint8_t> small(4096);
    EXPECT_FALSE(ReadSystemInfo(0, small));
    EXPECT_TRUE(bench.Log().empty());
}

}  // namespace
}  // namespace vt
