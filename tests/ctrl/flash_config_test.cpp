#include "ctrl/flash_config.h"

#include <gtest/gtest.h>

#include "ctrl/block_units.h"

namespace vt {
namespace {

SystemInfoRecord Decoded(std::uint16_t flash_config, std::uint8_t config_bit5 = 0) {
    SystemInfoRecord info;
    info.FlashConfig = flash_config;
    info.ConfigBit5 = config_bit5;
    DecodeFlashConfig(info);
    return info;
}

TEST(FlashConfig, Code2813hIsToshibaMlcWith16KiBPagesAnd1024UnitsPerDie) {
    const SystemInfoRecord info = Decoded(0x2813);
    EXPECT_EQ(info.SectorsPerPage, 32);
    EXPECT_EQ(info.PagesPerBlock, 256);
    EXPECT_EQ(info.BlocksPerCe, 2048);
    EXPECT_EQ(info.DiesPerCe, 1);
    EXPECT_EQ(info.UnitsPerDie, 1024);
    EXPECT_EQ(CellTypeName(info.FlashConfig), "MLC");
    EXPECT_EQ(FlashVendorName(info.FlashConfig), "Toshiba");
    EXPECT_EQ(FlashVendorName(0x6000), "");  // past the name tables: empty, not out of bounds
    EXPECT_EQ(EccModeName(4), "");
    EXPECT_EQ(IoDriveCurrentName(7), "16 mA");
}

TEST(FlashConfig, UndefinedCodesDecodeToZeroWithoutDividingByIt) {
    const FlashGeometry g = FlashGeometryOf(0x0600 | 0x0140 | 0x0038 | 0x0004);
    EXPECT_EQ(g.SectorsPerPage, 0);
    EXPECT_EQ(g.PagesPerBlock, 0);
    EXPECT_EQ(g.BlocksPerCe, 0);
    EXPECT_EQ(g.DiesPerCe, 0);
    EXPECT_EQ(g.UnitsPerDie, 0);
    EXPECT_EQ(FlashGeometryOf(0x0600).UnitsPerDie, 0);             // 2048 blocks, 0 dies
    EXPECT_EQ(FlashGeometryOf(0x0400 | 0x0100).UnitsPerDie, 128);  // 1024 blocks, 4 dies
}

TEST(BlockUnits, OnlyToshibaWithConfigBit5ClearNumbersUnitsDieByDie) {
    const SystemInfoRecord toshiba = Decoded(0x2813);
    EXPECT_EQ(BlockToUnit(2050, toshiba), 1026);
    EXPECT_EQ(UnitToBlock(1026, toshiba), 2052);
    for (const SystemInfoRecord& other : {Decoded(0x2813, 1), Decoded(0x1813)}) {
        EXPECT_EQ(BlockToUnit(2050, other), 1025);
        EXPECT_EQ(UnitToBlock(1026, other), 2052);
    }
    EXPECT_EQ(UnitToBlock(0x9000, Decoded(0x1813)), 0x2000);  // kept to 16 bits
    // Toshiba flash whose dies code is undefined has no units per die: plain pairs.
    const SystemInfoRecord no_dies = Decoded(0x2813 | 0x0600);
    EXPECT_EQ(BlockToUnit(2050, no_dies), 1025);
    EXPECT_EQ(UnitToBlock(1026, no_dies), 2052);
}

}  // namespace
}  // namespace vt
