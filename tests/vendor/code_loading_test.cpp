#include "vendor/code_loading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "tests/support/fake_backend.h"
#include "vendor/carrier.h"

namespace vt {
namespace {

using test::RecordedRequest;

SystemInfoRecord Geometry(std::uint8_t channels, std::uint8_t banks, std::uint16_t blocks_per_ce,
                          std::uint16_t pages, std::uint16_t reserved, std::uint8_t spp) {
    SystemInfoRecord info;
    info.ChannelCount = channels;
    info.BankCount = banks;
    info.BlocksPerCe = blocks_per_ce;
    info.PagesPerBlock = pages;
    info.ReservedPercent10 = reserved;
    info.SectorsPerPage = spp;
    return info;
}

// Worked by hand: n = 8, c = 1024, d = 256, r = 71, u = 953, m = 544 gives T = 4527312, rounded to
// 4538368 (next 4000h) and then to 35 pages of 128 KiB.
TEST(TableAreaSize, WorkedGeometries) {
    EXPECT_EQ(TableAreaSize(Geometry(4, 2, 2048, 256, 70, 32)), 0x460000u);
    // A reserve below three blocks makes m negative: T = 3156096 -> 3162112, already a multiple of
    // the 8 KiB double page.
    EXPECT_EQ(TableAreaSize(Geometry(1, 1, 1024, 64, 0, 8)), 0x304000u);
    // No channel count: the page rounding is skipped rather than divided by zero.
    EXPECT_EQ(TableAreaSize(Geometry(0, 0, 0, 0, 0, 0)) % 0x4000u, 0u);
}

TEST(AdaptCodeImage, SwapRuleForTheSystemBlocks) {
    DeviceTable = {};
    std::vector<std::uint8_t> image(kCodeImageSize, kCodeImageFill);
    DeviceTable[0].SysBlock = {10, 12, 21, 30};
    AdaptCodeImage(0, image, SystemInfoRecord{});
    EXPECT_EQ(DeviceTable[0].SysBlock, (std::array<std::uint16_t, 4>{21, 12, 10, 30}));
    EXPECT_EQ(image[0x510], 21);
    EXPECT_EQ(image[0x514], 10);
    DeviceTable[0].SysBlock = {10, 20, 21, 30};
    AdaptCodeImage(0, image, SystemInfoRecord{});
    EXPECT_EQ(DeviceTable[0].SysBlock, (std::array<std::uint16_t, 4>{10, 20, 21, 30}));
    DeviceTable = {};
}

TEST(AdaptCodeImage, ConfigurationAreaAndCapacityRecord) {
    DeviceTable = {};
    auto info = Geometry(4, 2, 2048, 256, 0x0123, 32);
    info.FlashConfig = 0x2813;
    info.CellNibble = 0x1F;  // only the low nibble goes out
    info.ConfigBit5 = 1;
    info.FeatureFlags[0] = 1;
    info.FeatureFlags[3] = 1;  // bank count 2 with flag 3: bit 3
    info.FeatureFlags[7] = 1;  // flag 4 clear and flag 7 set: bit 7
    info.FeatureFlags[14] = 1;
    info.DefectPercent10 = 0x21;
    info.LoaderList[0].first = 0xBEEF;
    info.SupportBits = 0x41;
    std::vector<std::uint8_t> image(kCodeImageSize, kCodeImageFill);
    AdaptCodeImage(0, image, info);
    EXPECT_EQ(image[0x500], 0x13);
    EXPECT_EQ(image[0x501], 0x28);
    EXPECT_EQ(image[0x502], 0x2F);
    EXPECT_EQ(image[0x509], 0x89);
    EXPECT_EQ(image[0x50A], 0x40);
    EXPECT_EQ(image[0x508], 0x23);
    EXPECT_EQ(image[0x51A], 0x01);
    EXPECT_EQ(image[0x518], 0x40);
    EXPECT_EQ(image[0x520], 0x21);
    EXPECT_EQ(image[0x50D], 0x00);  // cleared before the rebuild
    EXPECT_EQ(image[0x530 + 3], 32 * 2 * 3 % 256);
    EXPECT_EQ(image[0x548 + 8], 0xEF);
    EXPECT_EQ(image[0x548 + 17], 0x41);
    EXPECT_EQ(image[0x548 + 26], 0x3C);
    EXPECT_EQ(image[0x548 + 48], kCodeImageFill);  // nothing past the record
    DeviceTable = {};
}

class DownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DeviceTable = {};
        DeviceTable[0] = {"ide:/dev/sda", 0, 1, {}, {}};
        fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
            test::SetDescriptorAtaReturn(r, 0, 0x50);
            return 0;
        };
    }
    void TearDown() override {
        DeviceTable = {};
        CarrierMode = 0;
        RawDumpEnabled = false;
    }
    void WriteImage(std::size_t size, const char* tag) {
        std::vector<char> bytes(size, 0x11);
        if (tag != nullptr) std::copy(tag, tag + 4, bytes.begin() + 0x300);
        std::ofstream(dir.File("GDP.bin"), std::ios::binary).write(bytes.data(), bytes.size());
    }
    // Controller addresses of the code writes (command sectors with sub-command 87h).
    std::vector<std::uint32_t> WriteAddresses() {
        std::vector<std::uint32_t> addresses;
        for (const auto& r : fake->requests) {
            if (r.data_out.size() == 512 && r.cdb[8] == 0xFF && r.data_out[2] == 0x87) {
                addresses.push_back(std::uint32_t{r.data_out[4]} << 24 | r.data_out[5] << 16 |
                                    r.data_out[6] << 8 | r.data_out[7]);
            }
        }
        return addresses;
    }
    test::ScopedTempDir dir;
    test::ScopedFakeBackend fake;
    std::vector<std::uint8_t> caller = std::vector<std::uint8_t>(kCodeImageSize, 0xAA);
};

TEST_F(DownloadTest, ChunksFollowTheCarrierMode) {
    WriteImage(4096, "GDP_");
    CarrierMode = 2;
    ASSERT_TRUE(DownloadCode(0, caller, dir.File("GDP.bin"), 0));
    EXPECT_EQ(WriteAddresses(), (std::vector<std::uint32_t>{0x40000000, 0x40010000}));
    fake->requests.clear();
    CarrierMode = 1;
    ASSERT_TRUE(DownloadCode(0, caller, dir.File("GDP.bin"), 0));
    EXPECT_EQ(WriteAddresses(),
              (std::vector<std::uint32_t>{0x40000000, 0x40008000, 0x40010000, 0x40018000}));
}

TEST_F(DownloadTest, ShortImageIsFilledAndTaggedImageAdapted) {
    WriteImage(100 * 1024, "TST_");
    ASSERT_TRUE(DownloadCode(0, caller, dir.File("GDP.bin"), 0));
    EXPECT_EQ(caller[100 * 1024 - 1], 0x11);
    EXPECT_EQ(caller[100 * 1024], kCodeImageFill);
    EXPECT_EQ(caller[kCodeImageSize - 1], kCodeImageFill);
    EXPECT_EQ(caller[0x518], 0x40);
}

TEST_F(DownloadTest, UntaggedImageGoesOutUnchanged) {
    WriteImage(kCodeImageSize + 100, "XYZ_");
    RawDumpEnabled = true;
    CarrierMode = 2;
    DownloadCounter = 9;
    ASSERT_TRUE(DownloadCode(0, caller, dir.File("GDP.bin"), 0));
    EXPECT_EQ(caller[0], 0xAA);  // the caller's buffer is left alone
    EXPECT_EQ(test::ReadAll(dir.File("11_RCO.raw")).size(), 64u * 1024);
    EXPECT_EQ(test::ReadAll(dir.File("11_WCM_09.raw")), caller);
    EXPECT_EQ(DownloadCounter, 10);
    const auto loaded = test::ReadAll(dir.File("11_WCM.raw"));
    ASSERT_EQ(loaded.size(), kCodeImageSize);
    EXPECT_EQ(loaded[0x518], 0x11);  // cut at 128 KiB, and no configuration area written
}

TEST_F(DownloadTest, MissingFileAndFailedWrite) {
    EXPECT_FALSE(DownloadCode(0, caller, dir.File("GDP.bin"), 0));
    EXPECT_TRUE(fake->requests.empty());
    WriteImage(4096, "GDP_");
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        test::SetDescriptorAtaReturn(r, 0x04, 0x51);
        return 0;
    };
    EXPECT_FALSE(DownloadCode(0, caller, dir.File("GDP.bin"), 0));
    EXPECT_EQ(fake->requests.size(), 1u);  // the first command sector failed: nothing more
}

}  // namespace
}  // namespace vt
