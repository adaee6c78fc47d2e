// The vendor protocol against the virtual drive bench: what reaches the drive, in order.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "access/device_tables.h"
#include "tests/support/fake_backend.h"
#include "tests/support/scoped_bench.h"
#include "vendor/carrier.h"
#include "vendor/catalogue.h"
#include "vendor/code_loading.h"
#include "vendor/loader_mode.h"
#include "vendor/system_info.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

using nlohmann::json;
using sim::CommandKind;

const json kSata = json::array({{{"bus", "ide"}, {"model", "K38"}, {"build", "3"}}});

class Protocol : public ::testing::Test {
  protected:
    void SetUp() override {
        CarrierMode = 2;
        saved_ = SystemInfo;
    }
    void TearDown() override {
        CarrierMode = 0;
        SystemInfo = saved_;
    }
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(128 * 1024);
    SystemInfoRecord saved_;
};

TEST_F(Protocol, VendorCommandWithoutDataSendsOnlyItsCommandSector) {
    test::ScopedBench bench(kSata);
    ASSERT_TRUE(VA_UnlockVendorCmd(0));
    bench.bench().ClearLog();
    EXPECT_EQ(VC_WriteRegister(0, 0x1B2, 0x23), 1);
    EXPECT_EQ(bench.AtaCommands(0), 1u);
    const auto vendor = bench.Vendor(0);
    ASSERT_EQ(vendor.size(), 1u);
    EXPECT_EQ(vendor[0].sub_command, 0x85);
    std::uint8_t value = 0;
    EXPECT_EQ(VC_ReadRegister(0, 0x1B2, value), 1);
    EXPECT_EQ(value, 0x23);
}

TEST_F(Protocol, CarrierAddressesAndTheLoaderBlock) {
    test::ScopedBench bench(kSata);
    ASSERT_TRUE(VA_UnlockVendorCmd(0));
    bench.bench().ClearLog();
    ASSERT_EQ(VC_ReadMemory(0, 3, 0, buffer, 8), 1);
    EXPECT_EQ(std::memcmp(buffer.data(), "LDBK BLOCKS V50", 16), 0);
    const auto& log = bench.bench().Log(0);
    ASSERT_EQ(log.size(), 3u);
    for (std::size_t i : {0u, 2u}) {
        EXPECT_EQ(log[i].lba_mid, 0x34);
        EXPECT_EQ(log[i].lba_high, 0x12);
    }
    EXPECT_EQ(log[0].lba_low, 0xFF);
    EXPECT_EQ(log[2].lba_low, 0x86);
    EXPECT_EQ(log[2].count, 8);
}

TEST_F(Protocol, EveryCarrierModeReachesTheFirmware) {
    for (std::uint8_t mode : {0, 1, 2}) {
        test::ScopedBench bench(kSata);
        CarrierMode = mode;
        ASSERT_TRUE(VA_UnlockVendorCmd(0));
        ASSERT_EQ(VC_ReadMemory(0, 3, 0, buffer, 1), 1) << int{mode};
        const auto& log = bench.bench().Log(0);
        const auto ops = CarrierOpcodesFor(mode);
        EXPECT_EQ(log[1].opcode, ops.write_opcode);
        EXPECT_EQ(log.back().opcode, ops.read_opcode);
    }
}

TEST_F(Protocol, OlderBridgeTakesTheBlockAsItsOwnCdbWithoutUnlock) {
    test::ScopedBench bench(json::array(
        {{{"bus", "usb"}, {"bridge", "older"}, {"bridge_tag", "FK1X"}, {"model", "K35"}}}));
    ASSERT_EQ(DeviceTable[0].DirectVendorCdb, 1);
    EXPECT_TRUE(VA_UnlockVendorCmd(0));
    EXPECT_TRUE(bench.bench().Log(0).empty());
    ASSERT_EQ(VC_ReadMemory(0, 3, 0, buffer, 8), 1);
    const auto& log = bench.bench().Log(0);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, CommandKind::VendorDirect);
    EXPECT_EQ(log[0].block[1], 0x04);
    EXPECT_EQ(std::memcmp(buffer.data(), "LDBK BLOCKS V40", 16), 0);
}

TEST_F(Protocol, WrongStatusSignatureFailsAfterSixAttempts) {
    std::string status = "E5565401";
    test::ScopedBench bench(
        json::array({{{"bus", "ide"}, {"model", "K38"}, {"status_sector", status}}}));
    const auto start = bench.clock().Now();
    EXPECT_FALSE(CheckVendorSignature(0));
    const auto waited = bench.clock().Now() - start;
    EXPECT_GE(waited, 1200u);
    EXPECT_LT(waited, 1300u);
    const auto& log = bench.bench().Log(0);
    const auto status_reads = std::count_if(log.begin(), log.end(), [](const auto& c) {
        return c.kind == CommandKind::Ata && c.opcode == 0x86 && c.lba_low == 0xFF;
    });
    EXPECT_EQ(status_reads, 6);
}

TEST_F(Protocol, RotatingDriveIsNotAskedForTheVendorProtocol) {
    test::ScopedBench bench(json::array({{{"bus", "ide"}, {"model", "K38"}, {"rotation", 0}}}));
    EXPECT_FALSE(CheckVendorSignature(0));
    ASSERT_EQ(bench.bench().Log(0).size(), 1u);
    EXPECT_EQ(bench.bench().Log(0)[0].opcode, 0xEC);
}

TEST_F(Protocol, SignatureAnswersAfterUnlock) {
    test::ScopedBench bench(kSata);
    EXPECT_TRUE(CheckVendorSignature(0));
    test::ScopedBench foreign(json::array({{{"bus", "ide"}, {"vendor", false}}}));
    EXPECT_FALSE(CheckVendorSignature(0));
}

// IDENTIFY with words 60-61 and 100-103 set as given.
json IdentifyWith(std::uint32_t words60, std::uint64_t words100) {
    json patches = json::array();
    char hex[9];
    auto le = [&](std::uint32_t v) {
        std::snprintf(hex, sizeof hex, "%2.2X%2.2X%2.2X%2.2X", v & 0xFF, (v >> 8) & 0xFF,
                      (v >> 16) & 0xFF, v >> 24);
        return std::string(hex);
    };
    patches.push_back({{"at", 120}, {"hex", le(words60)}});
    patches.push_back({{"at", 200}, {"hex", le(static_cast<std::uint32_t>(words100))}});
    patches.push_back({{"at", 204}, {"hex", le(static_cast<std::uint32_t>(words100 >> 32))}});
    patches.push_back({{"at", 434}, {"hex", "0100"}});
    return {{"size", 512}, {"patches", patches}};
}

// Words 100-103 count 48 bits: FFFFFFFFh is a capacity, and only a value past 48 bits is none.
TEST_F(Protocol, AtaCapacityFromWordsSixtyOrOneHundred) {
    const std::pair<std::uint32_t, std::uint64_t> cases[] = {{0x0FFFFFFF, 0x12345678},
                                                             {0x0FFFFFFF, 0xFFFFFFFF},
                                                             {0x00100000, 0xFFFFFFFF},
                                                             {0x0FFFFFFF, 7814037168},
                                                             {0x0FFFFFFF, std::uint64_t{1} << 48},
                                                             {0x0FFFFFFF, 0xFFFFFFFFFFFFFFFF}};
    const std::uint64_t expected[] = {0x12345678, 0xFFFFFFFF, 0x00100000, 7814037168, 0, 0};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        test::ScopedBench bench(json::array(
            {{{"bus", "ide"}, {"identify", IdentifyWith(cases[i].first, cases[i].second)}}}));
        EXPECT_EQ(VA_GetAtaCapacity(0), expected[i]) << i;
    }
}

TEST_F(Protocol, FlashPageOfOneChannelLandsAtItsPlace) {
    test::ScopedBench bench(
        json::array({{{"bus", "ide"},
                      {"model", "K38"},
                      {"flash_pages", {{"2:1:10:5", {{"size", 16384}, {"fill", "A5"}}}}}}}));
    SystemInfo.SectorsPerPage = 32;
    SystemInfo.ChannelCount = 4;
    ASSERT_TRUE(VA_UnlockVendorCmd(0));
    for (std::uint16_t block : {10, 11}) {
        bench.bench().ClearLog();
        std::fill(buffer.begin(), buffer.end(), 0);
        ASSERT_TRUE(VA_ReadFlashPage(0, 2, 1, block, 5, 3, 1, buffer, 4));
        const auto vendor = bench.Vendor(0);
        ASSERT_EQ(vendor.size(), 1u);
        const std::uint32_t offset = std::uint32_t{vendor[0].block[12]} << 24 |
                                     vendor[0].block[13] << 16 | vendor[0].block[14] << 8 |
                                     vendor[0].block[15];
        EXPECT_EQ(offset, block == 10 ? 32768u : 32768u + 32 * 4096);
        EXPECT_EQ(vendor[0].block[11], 4);
        EXPECT_EQ(vendor[0].sectors, 32u);
    }
    EXPECT_EQ(buffer[32768], 0x00);  // block 11 holds no page: zeros, at the channel's place
    EXPECT_EQ(buffer[32767], 0x00);
    // A channel whose page would not fit the buffer is refused unsent.
    std::vector<std::uint8_t> small(2 * 16384);
    bench.bench().ClearLog();
    EXPECT_FALSE(VA_ReadFlashPage(0, 2, 1, 10, 5, 3, 1, small, 4));
    EXPECT_TRUE(bench.Vendor(0).empty());
}

TEST_F(Protocol, SystemPagesGoInPiecesOfAtMost128Sectors) {
    test::ScopedBench bench(kSata);
    SystemInfo.SectorsPerPage = 4;
    ASSERT_TRUE(VA_UnlockVendorCmd(0));
    // 300 sectors are 150 KiB: more than the 128 KiB work buffer holds. The piece that would not
    // fit is not sent.
    EXPECT_FALSE(VA_ReadSystemPages(0, 0, 0, 8, 17, 0, 3, 1, buffer, 300));
    EXPECT_EQ(bench.Vendor(0).size(), 2u);
    buffer.resize(160 * 1024);
    for (const auto& [total, pieces] :
         {std::pair{8u, std::vector<std::uint32_t>{8}},
          std::pair{300u, std::vector<std::uint32_t>{128, 128, 44}}}) {
        bench.bench().ClearLog();
        ASSERT_TRUE(VA_ReadSystemPages(0, 0, 0, 8, 17, 0, 3, 1, buffer, total));
        std::vector<std::uint32_t> sent;
        for (const auto& c : bench.Vendor(0)) {
            sent.push_back(c.sectors);
            EXPECT_EQ(c.block[3], 0xFF);
            EXPECT_EQ(c.block[6], 8);
        }
        EXPECT_EQ(sent, pieces);
    }
    // The second piece starts at its page: 128 / 4 pages on, and the odd block's base offset.
    const auto second = bench.Vendor(0)[1];
    const std::uint32_t offset = std::uint32_t{second.block[12]} << 24 | second.block[13] << 16 |
                                 second.block[14] << 8 | second.block[15];
    EXPECT_EQ(offset, 4u * 4096 + 32 * 4 * 512);
}

TEST_F(Protocol, LoaderDriveIsRecognisedAndSentBackToItsFirmware) {
    test::ScopedBench bench(json::array({{{"bus", "ide"}, {"model", "K38"}, {"mode", "loader"}}}));
    EXPECT_TRUE(IsLoaderMode(0));
    ASSERT_TRUE(VA_UnlockVendorCmd(0));
    SystemInfo.SectorsPerPage = 32;
    SystemInfo.ChannelCount = 4;
    SystemInfo.LoaderFormat = 1;
    std::memcpy(SystemInfo.LoaderSignature.data(), "LDBK BLOCKS V50", 16);
    EXPECT_TRUE(ExitLoaderMode(0, buffer));
    EXPECT_FALSE(IsLoaderMode(0));
    bool switched_to_one = false;
    for (const auto& c : bench.Vendor(0)) {
        if (c.sub_command == 0x83) switched_to_one = c.block[3] == 1;
    }
    EXPECT_TRUE(switched_to_one);
    EnterLoaderMode(0);
    EXPECT_TRUE(IsLoaderMode(0));
}

TEST_F(Protocol, UnknownLoaderSignatureFindsNoLoaderInfo) {
    test::ScopedBench bench(json::array({{{"bus", "ide"}, {"model", "K38"}}}));
    SystemInfo.SectorsPerPage = 32;
    SystemInfo.ChannelCount = 4;
    SystemInfo.LoaderSignature = {};
    ASSERT_TRUE(VA_UnlockVendorCmd(0));
    std::uint8_t first = 9;
    EXPECT_FALSE(VA_FindLoaderInfo(0, buffer, first));  // erased pages read as zeros
    EXPECT_EQ(first, 0);
}

TEST_F(Protocol, BridgeDriveWithSecondLoaderLeavesWithModeTwo) {
    test::ScopedBench bench(json::array({{{"bus", "usb"},
                                          {"bridge", "older"},
                                          {"bridge_tag", "FK1X"},
                                          {"model", "K35"},
                                          {"loader_entries", 2},
                                          {"mode", "loader"}}}));
    SystemInfo.SectorsPerPage = 32;
    SystemInfo.ChannelCount = 4;
    SystemInfo.LoaderFormat = 0;
    std::memcpy(SystemInfo.LoaderSignature.data(), "LDBK BLOCKS V40", 16);
    ASSERT_TRUE(IsLoaderMode(0));
    EXPECT_TRUE(ExitLoaderMode(0, buffer));
    EXPECT_FALSE(IsLoaderMode(0));
    int mode = -1;
    for (const auto& c : bench.Vendor(0)) {
        if (c.sub_command == 0x83) mode = c.block[3];
    }
    EXPECT_EQ(mode, 2);
}

TEST_F(Protocol, GdpImageLoadsIntoProgramRamAndStarts) {
    test::ScopedTempDir dir;
    test::ScopedBench bench(kSata);
    std::vector<char> image(100 * 1024, 0x42);
    std::memcpy(image.data() + 0x300, "GDP_", 4);
    std::ofstream(dir.File("GDP.bin"), std::ios::binary).write(image.data(), image.size());
    GdpFilePath = dir.File("GDP.bin");
    std::uint8_t flag = 7;
    std::vector<std::uint8_t> caller(kCodeImageSize);
    ASSERT_TRUE(VA_UnlockVendorCmd(0));
    ASSERT_TRUE(LoadGDP(0, caller, flag, 0));
    EXPECT_EQ(flag, 0);
    std::vector<std::uint8_t> sub_commands;
    for (const auto& c : bench.Vendor(0)) sub_commands.push_back(c.sub_command);
    EXPECT_EQ(sub_commands, (std::vector<std::uint8_t>{0x83, 0x87, 0x86, 0x87, 0x86, 0x82}));
    std::vector<std::uint8_t> ram(kCodeImageSize);
    ASSERT_EQ(VC_ReadMemory(0, 3, kProgramRamBit, ram, 128), 1);
    ASSERT_EQ(VC_ReadMemory(0, 3, kProgramRamBit + 0x10000, std::span(ram).subspan(0x10000), 128),
              1);
    EXPECT_EQ(ram, caller);
    EXPECT_EQ(ram[kCodeImageSize - 1], kCodeImageFill);
    GdpFilePath.clear();
}

}  // namespace
}  // namespace vt
