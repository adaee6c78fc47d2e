#include "ctrl/flash_config.h"

#include <gtest/gtest.h>

#include "ctrl/block_units.h"

namespace vt {
namespace {

TEST(FlashConfig, Code2813hIsToshibaMlcWith16KiBPagesAnd1024UnitsPerDie) {
    SystemInfoRecord info;
    info.FlashConfig = 0x2813;
    DecodeFlashConfig(info);
    EXPECT_EQ(info.SectorsPerPage, 32);
    EXPECT_EQ(info.PagesPerBlock, 256);
    EXPECT_EQ(info.BlocksPerCe, 2048);
    EXPECT_EQ(info.DiesPerCe, 1);
    EXPECT_EQ(info.UnitsPerDie, 1024);
    EXPECT_EQ(CellTypeName(info.FlashConfig), "MLC");
    EXPECT_EQ(FlashVendorOf(info.FlashConfig), kFlashVendorToshiba);
    EXPECT_EQ(FlashVendorName(info.FlashConfig), "Toshiba");
}

TEST(FlashConfig, UndefinedCodesDecodeToZeroWithoutDividingByIt) {
    // Sectors code 4, pages code 7, blocks code 5, dies code 3: none defined.
    const FlashGeometry g = FlashGeometryOf(0x0600 | 0x0140 | 0x0038 | 0x0004);
    EXPECT_EQ(g.SectorsPerPage, 0);
    EXPECT_EQ(g.PagesPerBlock, 0);
    EXPECT_EQ(g.BlocksPerCe, 0);
    EXPECT_EQ(g.DiesPerCe, 0);
    EXPECT_EQ(g.UnitsPerDie, 0);
    // Blocks known but dies code 3 (0 dies): no units per die either.
    EXPECT_EQ(FlashGeometryOf(0x0600).UnitsPerDie, 0);
    // Four dies of 1024 blocks: 128 units each.
    EXPECT_EQ(FlashGeometryOf(0x0400 | 0x0100).UnitsPerDie, 128);
}

TEST(FlashConfig, NameTablesAnswerEmptyPastTheirEnd) {
    EXPECT_EQ(CellTypeName(0x0000), "SLC");
    EXPECT_EQ(FlashVendorName(0x5000), "Sandisk");
    EXPECT_EQ(FlashVendorName(0x6000), "");
    EXPECT_EQ(EccModeName(0), "BCH 8");
    EXPECT_EQ(EccModeName(3), "BCH 40");
    EXPECT_EQ(EccModeName(4), "");
    EXPECT_EQ(IoDriveCurrentName(7), "16 mA");
    EXPECT_EQ(IoDriveCurrentName(8), "");
}

SystemInfoRecord Toshiba(std::uint8_t config_bit5) {
    SystemInfoRecord info;
    info.FlashConfig = 0x2813;
    DecodeFlashConfig(info);
    info.ConfigBit5 = config_bit5;
    return info;
}

TEST(BlockUnits, ToshibaWithConfigBit5ClearNumbersUnitsDieByDie) {
    const SystemInfoRecord info = Toshiba(0);
    EXPECT_EQ(BlockToUnit(2050, info), 1026);
    EXPECT_EQ(UnitToBlock(1026, info), 2052);
    EXPECT_EQ(BlockToUnit(7, info), 7);
    EXPECT_EQ(UnitToBlock(5, info), 10);
}

TEST(BlockUnits, OtherFlashPairsNeighbouringBlocks) {
    SystemInfoRecord info = Toshiba(1);  // ConfigBit5 set turns the die rule off
    EXPECT_EQ(BlockToUnit(2050, info), 1025);
    EXPECT_EQ(UnitToBlock(1026, info), 2052);
    info = Toshiba(0);
    info.FlashConfig = 0x1813;  // Samsung
    EXPECT_EQ(BlockToUnit(2050, info), 1025);
    EXPECT_EQ(UnitToBlock(1026, info), 2052);
    EXPECT_EQ(UnitToBlock(0x9000, info), 0x2000);  // kept to 16 bits
}

TEST(BlockUnits, ToshibaWithoutUnitsPerDieFallsBackToPairs) {
    SystemInfoRecord info = Toshiba(0);
    info.FlashConfig = 0x2813 | 0x0600;  // dies code 3
    DecodeFlashConfig(info);
    ASSERT_EQ(info.UnitsPerDie, 0);
    EXPECT_EQ(BlockToUnit(2050, info), 1025);
    EXPECT_EQ(UnitToBlock(1026, info), 2052);
}

}  // namespace
}  // namespace vt
