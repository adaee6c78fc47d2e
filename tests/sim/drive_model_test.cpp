// Generated drives: the images the bench builds from a description read back in the layouts the
// host expects, from the places the host looks for them.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "sim/drive_model.h"
#include "tests/sim/bench_fixture.h"

namespace vt::test {
namespace {

using nlohmann::json;

std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
    return Le16(b, at) | static_cast<std::uint32_t>(Le16(b, at + 2)) << 16;
}

class Generated : public BenchTest {
  protected:
    // VC_ReadSystemPage: channel byte FFh, bank, unit, page, byte offset.
    bool SystemPage(std::uint8_t bank, std::uint16_t unit, std::uint16_t page, std::uint32_t offset,
                    std::span<std::uint8_t> data) {
        return Vendor(
            0,
            VendorBlock(
                0x04,
                {0xFF, bank, static_cast<std::uint8_t>(unit >> 8), static_cast<std::uint8_t>(unit),
                 0, static_cast<std::uint8_t>(page), 3, 1, 0,
                 static_cast<std::uint8_t>(offset >> 24), static_cast<std::uint8_t>(offset >> 16),
                 static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset)}),
            true, data, static_cast<unsigned>(data.size() / 512));
    }
};

const json kK38 = {
    {"bus", "ide"},
    {"model", "K38"},
    {"build", "3"},
    {"channels", 4},
    {"banks", 2},
    {"system_blocks", {16, 17, 40, 41}},
    {"stale_system_blocks", {0}},
    {"bad_blocks",
     {{"factory", {{{"channel", 1}, {"ce", 0}, {"block", 301}}}},
      {"early", {{{"channel", 2}, {"ce", 1}, {"unit", 88}}}},
      {"later",
       {{{"channel", 1}, {"ce", 1}, {"unit", 16}, {"type", "prog_fail"}},
        {{"channel", 1}, {"ce", 1}, {"unit", 530}, {"type", "erase_fail"}, {"remap_to", 1020}}}}}},
    {"uart_log", {{"size", 4096}, {"wrapped", true}}}};

TEST_F(Generated, SystemBlocksHoldTheLoaderCopyAndTheTables) {
    Install(json::array({kK38}));
    ASSERT_EQ(Unlock(0), 1);
    constexpr std::size_t kPage = 32 * 512;
    std::vector<std::uint8_t> data(4096);
    // The first system block's copy is erased; block 17, the odd block of unit 8, holds one.
    ASSERT_TRUE(SystemPage(0, 8, 0, 0, data));
    EXPECT_EQ(data[0], 0xFF);
    ASSERT_TRUE(SystemPage(0, 8, 0, 32 * 4096, data));
    EXPECT_EQ(std::memcmp(data.data(), "LDBK BLOCKS V50", 16), 0);
    EXPECT_EQ(data[0x520], 20);  // the flash copy carries the defect rate here

    // Toshiba flash: block 17 maps to table unit 17; one page per channel, odd block 8 pages on.
    std::vector<std::uint8_t> tables(4 * kPage);
    ASSERT_TRUE(SystemPage(0, 17, 1, 8 * kPage, tables));
    const std::uint8_t defect[] = {0xE9, 0x86, 0xAA, 0x55};
    for (std::size_t c = 0; c < 4; ++c)
        EXPECT_EQ(std::memcmp(&tables[c * kPage], defect, 4), 0) << c;
    EXPECT_EQ(std::memcmp(&tables[4], "VTFK3X-V001", 12), 0);
    // Channel 1: CE 0 marker, unit 150 with its odd block bad (low nibble 0), end.
    const std::size_t at = kPage + 16;
    EXPECT_EQ(Le16(tables, at), 0xA0FB);
    EXPECT_EQ(Le16(tables, at + 4), 150);
    EXPECT_EQ(tables[at + 6], 0);
    EXPECT_EQ(Le16(tables, at + 8), 0xD1FE);

    ASSERT_TRUE(SystemPage(0, 17, 2, 8 * kPage, tables));
    EXPECT_EQ(Le16(tables, 2 * kPage + 16), 0xFB01);
    EXPECT_EQ(Le16(tables, 2 * kPage + 18), 88);
    ASSERT_TRUE(SystemPage(0, 17, 4, 8 * kPage, tables));
    EXPECT_EQ(std::memcmp(tables.data(), "SYSPVTFK3X-V001", 16), 0);
}

TEST_F(Generated, LaterBadTableGrowsPageByPage) {
    Install(json::array({kK38}));
    ASSERT_EQ(Unlock(0), 1);
    constexpr std::size_t kPage = 32 * 512;
    // CE 1 lives in the second later-bad unit, 31h: block 62h, which is table unit 62h on Toshiba.
    std::vector<std::uint8_t> pages(4 * kPage);
    const std::uint8_t mark[] = {0xE8, 0xDC, 0x55, 0xAA};
    ASSERT_TRUE(SystemPage(1, 0x62, 1, 0, pages));
    EXPECT_EQ(std::memcmp(&pages[kPage], mark, 4), 0);
    EXPECT_EQ(Le16(pages, kPage + 16), 1);
    ASSERT_TRUE(SystemPage(1, 0x62, 2, 0, pages));
    EXPECT_EQ(Le16(pages, kPage + 16), 2);
    EXPECT_EQ(Le16(pages, kPage + 32), 16);
    EXPECT_EQ(pages[kPage + 34], 3);
    EXPECT_EQ(Le16(pages, kPage + 36), 530);
    EXPECT_EQ(pages[kPage + 38], 4);
    ASSERT_TRUE(SystemPage(1, 0x62, 3, 0, pages));
    EXPECT_NE(std::memcmp(&pages[kPage], mark, 4), 0);

    // The bad-unit list of channel 1, CE 1 names both units; the early unit is on its own list.
    std::array<std::uint8_t, 512> list{};
    ASSERT_TRUE(Vendor(0, VendorBlock(0x00, {1, 1}), true, list, 1));
    EXPECT_EQ(Le16(list, 4), 2);
    EXPECT_EQ(Le16(list, 8), 16);
    EXPECT_EQ(Le16(list, 12), 530);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x00, {2, 1}), true, list, 1));
    EXPECT_EQ(Le16(list, 4), 1);
    EXPECT_EQ(Le16(list, 8), 88);
}

TEST_F(Generated, EraseCountTablesInAllThreeForms) {
    Install(json::array(
        {kK38,
         {{"bus", "ide"},
          {"model", "K12"},
          {"banks", 2},
          {"channels", 2},
          {"bad_blocks", {{"later", {{{"channel", 1}, {"ce", 1}, {"unit", 9}, {"type", 5}}}}}}},
         {{"bus", "ide"}, {"model", "K14"}, {"banks", 2}}}));
    for (unsigned device = 0; device < 3; ++device) ASSERT_EQ(Unlock(device), 1);
    std::vector<std::uint8_t> table(17 * 512);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x01, {1, 0}), true, std::span(table).first(1024), 2));
    EXPECT_EQ(Le16(table, 4), 2048);  // the probe's block count
    ASSERT_TRUE(Vendor(0, VendorBlock(0x01, {1, 0}), true, table, 17));
    EXPECT_EQ(Le16(table, 8 + 2 * 301), 0xFFFF);  // the factory bad block has no count
    EXPECT_LT(Le16(table, 8 + 2 * 300), 200);

    std::vector<std::uint8_t> k12(64 * 512);
    ASSERT_TRUE(Vendor(1, VendorBlock(0x01, {0, 0}), true, k12, 64));
    EXPECT_EQ(Le16(k12, 0), 2048);
    EXPECT_LT(Le32(k12, 4), 200u);
    ASSERT_TRUE(Vendor(1, VendorBlock(0x00, {0, 0}), true, k12, 64));
    EXPECT_EQ(Le16(k12, 0), 1);  // one list: unit (big-endian), type, a channel mask per bank
    EXPECT_EQ(k12[4] << 8 | k12[5], 9);
    EXPECT_EQ(k12[6], 5);
    EXPECT_EQ(k12[8], 0x02);

    ASSERT_TRUE(Vendor(2, VendorBlock(0x01, {0, 1}), true, k12, 64));
    EXPECT_EQ(Le16(k12, 0), 2048);
    EXPECT_LT(Le16(k12, 4), 200);
}

TEST_F(Generated, UartLogThroughTheDramLayoutRecord) {
    Install(json::array({kK38}));
    ASSERT_EQ(Unlock(0), 1);
    std::vector<std::uint8_t> layout(128 * 512);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x20), true, layout, 128));
    const std::uint32_t error_log = Le32(layout, 20), uart = Le32(layout, 28);
    EXPECT_EQ(Le32(layout, 32), 4096u);
    EXPECT_NE(uart, 0xDC800u);

    std::vector<std::uint8_t> record(2048);
    ASSERT_TRUE(Vendor(0,
                       VendorBlock(0x86, {3, static_cast<std::uint8_t>(error_log >> 24),
                                          static_cast<std::uint8_t>(error_log >> 16),
                                          static_cast<std::uint8_t>(error_log >> 8),
                                          static_cast<std::uint8_t>(error_log)}),
                       true, record, 4));
    EXPECT_EQ(std::memcmp(record.data(), "ErLog01", 7), 0);
    EXPECT_EQ(Le16(record, 26), 1);  // the ring wrapped
    const std::uint32_t index = Le32(record, 16);
    ASSERT_LT(index, 4096u);

    const auto ring = drive(0).ReadMemory(3, uart, 4096);
    // The oldest byte is at the write position; from there the ring reads as whole entries.
    std::size_t marks = 0;
    for (const auto b : ring) marks += b == 0xEA;
    EXPECT_GT(marks, 40u);
    EXPECT_TRUE(drive(0).ReadMemory(3, 0xDC800, 64) == std::vector<std::uint8_t>(64, 0));
}

TEST_F(Generated, LoaderDriveKeepsItsLogsInTheSerialFlash) {
    Install(json::array({{{"bus", "ide"},
                          {"model", "K38"},
                          {"mode", "loader"},
                          {"spi_logs", {{"tag", "VTK38V00-003"}}}}}));
    ASSERT_EQ(Unlock(0), 1);
    std::array<std::uint8_t, 512> header{};
    ASSERT_TRUE(Vendor(0, VendorBlock(0x0B, {0, 0, 0, 0, 0, 0, 2, 0}), true, header, 1));
    EXPECT_EQ(std::memcmp(header.data(), "VTK38V00-003", 12), 0);
    const std::uint32_t uart = Le32(header, 28);
    EXPECT_EQ(Le32(header, 32), 8192u);
    std::vector<std::uint8_t> ring(8192);
    ASSERT_TRUE(Vendor(0,
                       VendorBlock(0x0B, {static_cast<std::uint8_t>(uart >> 24),
                                          static_cast<std::uint8_t>(uart >> 16),
                                          static_cast<std::uint8_t>(uart >> 8),
                                          static_cast<std::uint8_t>(uart), 0, 0, 0x20, 0}),
                       true, ring, 16));
    EXPECT_NE(std::find(ring.begin(), ring.end(), 0xEA), ring.end());
}

TEST(UnitMap, ToshibaNumbersTheUnitsOfEachDie) {
    sim::DriveDescription d;
    d.flash.blocks_per_ce = 4096;
    d.flash.dies_per_ce = 2;  // 1024 units per die
    const sim::UnitMap toshiba(d);
    EXPECT_EQ(toshiba.BlockToUnit(2050), 1026u);
    EXPECT_EQ(toshiba.UnitToBlock(1026), 2052u);
    d.flash.vendor = 0;
    const sim::UnitMap micron(d);
    EXPECT_EQ(micron.BlockToUnit(2050), 1025u);
    EXPECT_EQ(micron.UnitToBlock(1026), 2052u);
}

}  // namespace
}  // namespace vt::test
