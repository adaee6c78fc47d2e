#include "ctrl/defect_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "access/mode_flags.h"
#include "ctrl/device_buffers.h"
#include "ctrl/read_system_info.h"
#include "ctrl/table_pages.h"
#include "tests/ctrl/bench_drive.h"
#include "tests/support/fake_backend.h"

namespace vt {
namespace {

using test::Blob;

// Samsung flash, 32 sectors (16 KiB) per page, 256 pages per block: units are block pairs.
constexpr std::uint16_t kSamsung16KiB = 0x1813;
constexpr std::size_t kPage = 16 * 1024;
constexpr std::uint16_t kSystemBlock = 10;  // unit 5
constexpr std::uint16_t kLaterBadUnit = 0x30;

Blob MemoryCopy(std::uint8_t channels) {
    Blob block(4096);
    block.Text(0x324, "K38").Put16(0x500, kSamsung16KiB).Put8(0x503, channels).Put8(0x504, 1);
    block.Put8(0x505, 3).Put8(0x509, 0x10);  // BCH 40, Scramble: layout option 1
    block.Put16(0x510, 4).Put16(0x512, kSystemBlock).Put16(0x514, 12).Put16(0x516, 14);
    block.Put16(0x55C, kLaterBadUnit).Put16(0x55E, 0x40);
    return block;
}

// The flash copy repeats the configuration of the memory copy.
Blob LoaderCopy(std::uint8_t channels, std::uint8_t banks = 1) {
    return MemoryCopy(channels).Put8(0x504, banks).Text(0, "LDBK BLOCKS V50");
}

std::vector<std::uint8_t> Signature(PageKind kind) {
    const auto s = PageSignature(kind);
    return {s.begin(), s.end()};
}

// A table image of one page per channel; `signed_channels` carry the signature and a marker byte.
Blob TableImage(PageKind kind, std::initializer_list<unsigned> signed_channels, std::uint8_t marker,
                unsigned channels = 2) {
    Blob image(channels * kPage);
    for (const unsigned c : signed_channels) {
        image.Put(c * kPage, Signature(kind)).Put8(c * kPage + 16, marker);
    }
    return image;
}

std::string Key(unsigned bank, unsigned unit, unsigned page) {
    return std::to_string(bank) + ":" + std::to_string(unit) + ":" + std::to_string(page);
}

class DefectTablesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SystemInfo = SystemInfoRecord{};
        RawDumpEnabled = false;
        AllocDeviceBuffers(0);
    }
    void TearDown() override {
        FreeDeviceBuffers();
        RawDumpEnabled = false;
        SystemInfo = SystemInfoRecord{};
    }

    // A two-channel drive whose second system block is valid, with its tables and a later-bad
    // block whose pages 1-3 carry the signature on channel 0, page 1 also on channel 1, and page 4
    // on no channel.
    nlohmann::json Drive(unsigned table_unit, unsigned later_unit) const {
        return {{"bus", "ide"},
                {"memory", {{"3:0x0", MemoryCopy(2).Json()}}},
                {"system_pages",
                 {{Key(0, kSystemBlock / 2, 0), LoaderCopy(2).Json()},
                  {Key(0, table_unit, 1), TableImage(PageKind::Defect, {0, 1}, 0xD1).Json()},
                  {Key(0, table_unit, 2), TableImage(PageKind::EarlyBad, {0}, 0xE2).Json()},
                  {Key(0, table_unit, 3), TableImage(PageKind::Remap, {1}, 0xA3).Json()},
                  {Key(0, table_unit, 4), TableImage(PageKind::System, {0}, 0).Json()},
                  {Key(0, later_unit, 1), TableImage(PageKind::LaterBad, {0, 1}, 0x01).Json()},
                  {Key(0, later_unit, 2), TableImage(PageKind::LaterBad, {0}, 0x02).Json()},
                  {Key(0, later_unit, 3), TableImage(PageKind::LaterBad, {0}, 0x03).Json()},
                  {Key(0, later_unit, 5), TableImage(PageKind::LaterBad, {0, 1}, 0x05).Json()}}}};
    }

    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(128 * 1024);
    test::ScopedTempDir dir_;
};

TEST_F(DefectTablesTest, CopiesTheTablesAndCollectsLaterBadPagesUntilOneWithoutSignature) {
    RawDumpEnabled = true;
    test::BenchDrive bench(Drive(kSystemBlock / 2, kLaterBadUnit));
    ASSERT_TRUE(ReadSystemInfo(0, buffer_));
    bench.bench().ClearLog();
    ASSERT_TRUE(ReadDefectTables(0, buffer_));

    DeviceBuffers& tables = BuffersOf(0);
    EXPECT_EQ(ChannelPage(tables.DefectTable(), 1, kPage)[16], 0xD1);
    EXPECT_TRUE(HasPageSignature(ChannelPage(tables.EarlyTable(), 0, kPage), PageKind::EarlyBad));
    EXPECT_TRUE(HasPageSignature(ChannelPage(tables.RemapTable(), 1, kPage), PageKind::Remap));
    const auto pages = test::VendorCommands(bench.VendorLog(), 0x04);
    ASSERT_GE(pages.size(), 3u);
    EXPECT_EQ(test::BlockParam16(pages[0], 5), 2);  // block 4 holds no copy, block 10 does
    const auto& defect = pages[2];
    EXPECT_EQ(test::BlockParam16(defect, 5), 5);
    EXPECT_EQ(test::BlockParam16(defect, 7), 1);
    EXPECT_EQ(defect.block[9], 3);   // ECC option = EccMode
    EXPECT_EQ(defect.block[10], 1);  // layout option = FeatureFlags 13 x 2 + FeatureFlags 4
    EXPECT_EQ(defect.sectors, 64u);  // one page of each of the two channels

    const auto slot = BuffersOf(0).LaterBadSlot(0);
    ASSERT_FALSE(slot.empty());
    // Channel 0 keeps page 3, channel 1 page 1; page 5 lies past the first unsigned page.
    EXPECT_EQ(slot[16], 0x03);
    EXPECT_EQ(slot[kPage + 16], 0x01);
    EXPECT_FALSE(HasPageSignature(BuffersOf(0).LaterBadSlot(1), PageKind::LaterBad));

    std::vector<std::uint16_t> later_pages;
    for (const auto& c : test::VendorCommands(bench.VendorLog(), 0x04)) {
        if (test::BlockParam16(c, 5) == kLaterBadUnit)
            later_pages.push_back(test::BlockParam16(c, 7));
    }
    EXPECT_EQ(later_pages, (std::vector<std::uint16_t>{1, 2, 3, 4}));

    for (const char* name : {"DefectTable.raw", "EarlyTable.raw", "Remap.raw"}) {
        EXPECT_EQ(test::ReadAll(dir_.File(name)).size(), 128u * 1024) << name;
    }
    for (const char* name :
         {"LB_0000000.raw", "LB_0000001.raw", "LB_0000002.raw", "LB_0000003.raw"}) {
        EXPECT_EQ(test::ReadAll(dir_.File(name)).size(), 2 * kPage) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.File("LB_0000004.raw")));
}

TEST_F(DefectTablesTest, AUnitWithoutSignedPagesLeavesItsSlotZeroWhateverItHeld) {
    // The later-bad pages lie in another unit than the one the loader block names.
    test::BenchDrive bench(Drive(kSystemBlock / 2, kLaterBadUnit + 2));
    ASSERT_TRUE(ReadSystemInfo(0, buffer_));
    const auto slot = BuffersOf(0).LaterBadSlot(0);
    ASSERT_FALSE(slot.empty());
    std::fill(slot.begin(), slot.end(), std::uint8_t{0xEE});
    ASSERT_TRUE(ReadDefectTables(0, buffer_));
    EXPECT_EQ(std::count(slot.begin(), slot.end(), 0), static_cast<std::ptrdiff_t>(slot.size()));
}

TEST_F(DefectTablesTest, RawDumpsOffWriteNoFile) {
    test::BenchDrive bench(Drive(kSystemBlock / 2, kLaterBadUnit));
    ASSERT_TRUE(ReadSystemInfo(0, buffer_));
    ASSERT_TRUE(ReadDefectTables(0, buffer_));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(DefectTablesTest, InLoaderModeTheTableUnitIsTheBlockItself) {
    const std::string loader = "Generic FCR SATA Loader Loader Device";
    nlohmann::json drive = Drive(kSystemBlock, 2 * kLaterBadUnit);
    drive["mode"] = "loader";
    drive["loader_identify"] = test::IdentifyBlob(0, loader).Json();
    test::BenchDrive bench(drive);
    ASSERT_TRUE(ReadSystemInfo(0, buffer_));
    bench.bench().ClearLog();
    ASSERT_TRUE(ReadDefectTables(0, buffer_));

    EXPECT_TRUE(
        HasPageSignature(ChannelPage(BuffersOf(0).DefectTable(), 0, kPage), PageKind::Defect));
    EXPECT_EQ(BuffersOf(0).LaterBadSlot(0)[16], 0x03);
    const auto pages = test::VendorCommands(bench.VendorLog(), 0x04);
    ASSERT_GE(pages.size(), 3u);
    EXPECT_EQ(test::BlockParam16(pages[1], 5), kSystemBlock / 2);  // the search stays by unit
    EXPECT_EQ(test::BlockParam16(pages[2], 5), kSystemBlock);
    EXPECT_EQ(test::BlockParam16(pages[2], 7), 1);
}

TEST_F(DefectTablesTest, NoValidSystemBlockCopiesNothing) {
    nlohmann::json drive = Drive(kSystemBlock / 2, kLaterBadUnit);
    drive["system_pages"].erase(Key(0, kSystemBlock / 2, 0));
    test::BenchDrive bench(drive);
    ASSERT_TRUE(ReadSystemInfo(0, buffer_));
    bench.bench().ClearLog();
    EXPECT_FALSE(ReadDefectTables(0, buffer_));
    EXPECT_EQ(test::VendorCommands(bench.VendorLog(), 0x04).size(), 4u);
    const auto defect = BuffersOf(0).DefectTable();
    EXPECT_TRUE(std::all_of(defect.begin(), defect.end(), [](std::uint8_t b) { return b == 0; }));

    // Without buffers there is nowhere to copy to.
    FreeDeviceBuffers();
    EXPECT_FALSE(ReadDefectTables(0, buffer_));
}

TEST_F(DefectTablesTest, ReadsStayInsideTheBuffersWhateverTheGeometryClaims) {
    // 16 channels of 16 KiB pages and 9 banks: more than a page buffer and more units than slots.
    RawDumpEnabled = true;
    nlohmann::json drive = Drive(kSystemBlock / 2, kLaterBadUnit);
    drive["memory"]["3:0x0"] = MemoryCopy(16).Put8(0x504, 9).Json();
    drive["system_pages"][Key(0, kSystemBlock / 2, 0)] = LoaderCopy(16, 9).Json();
    test::BenchDrive bench(drive);
    ASSERT_TRUE(ReadSystemInfo(0, buffer_));
    ASSERT_TRUE(ReadDefectTables(0, buffer_));
    EXPECT_EQ(test::ReadAll(dir_.File("LB_0000000.raw")).size(), 128u * 1024);
    // Units 0-7 have a slot each (one die: slots 0, 2, ... 14); unit 8 is not read.
    EXPECT_TRUE(std::filesystem::exists(dir_.File("LB_0700000.raw")));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("LB_0800000.raw")));
}

TEST(DeviceBuffersTest, ARefreshHoldsTheBuffersOfTheDriveItReadsOnly) {
    AllocDeviceBuffers(0);
    AllocDeviceBuffers(3);
    for (unsigned device = 0; device < kMaxDevices; ++device) {
        DeviceBuffers& b = BuffersOf(device);
        if (device == 3) {
            EXPECT_EQ(b.DefectTable().size(), kTablePageBufferSize);
            EXPECT_EQ(b.LaterBadSlot(kLaterBadSlots - 1).size(), kTablePageBufferSize);
        } else {
            EXPECT_TRUE(b.DefectTable().empty() && b.LaterBadSlot(0).empty()) << device;
        }
    }
    FreeDeviceBuffers();
    EXPECT_TRUE(BuffersOf(3).RemapTable().empty());
}

// A table is made on its first use, not at the refresh's start, and every refresh's tables read
// zero however the one before filled them; asking again returns what was written.
TEST(DeviceBuffersTest, TablesAreMadeOnFirstUseAndStartZeroInEveryRefresh) {
    const auto all_zero = [](std::span<const std::uint8_t> t) {
        return std::all_of(t.begin(), t.end(), [](std::uint8_t b) { return b == 0; });
    };
    for (int refresh = 0; refresh < 2; ++refresh) {
        AllocDeviceBuffers(1);
        DeviceBuffers& b = BuffersOf(1);
        EXPECT_TRUE(b.Held());
        EXPECT_EQ(b.BytesInUse(), 0u);
        const auto remap = b.RemapTable();
        const auto slot = b.LaterBadSlot(5);
        ASSERT_EQ(remap.size(), kTablePageBufferSize);
        ASSERT_EQ(slot.size(), kTablePageBufferSize);
        EXPECT_EQ(b.BytesInUse(), 2 * kTablePageBufferSize);
        EXPECT_TRUE(all_zero(remap) && all_zero(slot)) << refresh;
        std::fill(remap.begin(), remap.end(), std::uint8_t{0xA5});
        slot[0] = 0x5A;
        EXPECT_EQ(b.RemapTable()[kTablePageBufferSize - 1], 0xA5);
        EXPECT_EQ(b.LaterBadSlot(5)[0], 0x5A);
        EXPECT_TRUE(b.LaterBadSlot(kLaterBadSlots).empty());
        EXPECT_EQ(b.BytesInUse(), 2 * kTablePageBufferSize);
    }
    FreeDeviceBuffers();
    EXPECT_FALSE(BuffersOf(1).Held());
    EXPECT_EQ(BuffersOf(1).BytesInUse(), 0u);
}

}  // namespace
}  // namespace vt
