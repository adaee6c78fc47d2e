#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ctrl/read_system_info.h"

namespace vt {
namespace {

class LoaderBlock {
  public:
    LoaderBlock() : bytes_(kLoaderBlockSize, 0) {}
    LoaderBlock& Put(std::size_t at, std::uint8_t value) {
        bytes_.at(at) = value;
        return *this;
    }
    LoaderBlock& Put16(std::size_t at, std::uint16_t value) {
        Put(at, static_cast<std::uint8_t>(value));
        return Put(at + 1, static_cast<std::uint8_t>(value >> 8));
    }
    LoaderBlock& Text(std::size_t at, const std::string& text) {
        std::memcpy(&bytes_.at(at), text.data(), text.size());
        return *this;
    }
    LoaderBlock& Model(const std::string& model) { return Text(0x324, model); }
    std::span<const std::uint8_t> bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

std::string SignatureText(const SystemInfoRecord& info) {
    return std::string(reinterpret_cast<const char*>(info.LoaderSignature.data()));
}

TEST(SystemInfoMemoryCopy, ControllerModelSelectsTheLoaderFormat) {
    SystemInfoRecord info;
    DeviceEntry entry;
    TakeMemoryCopy(LoaderBlock().Model("K38").bytes(), info, entry);
    EXPECT_EQ(info.LoaderFormat, 1);
    EXPECT_EQ(SignatureText(info), "LDBK BLOCKS V50");
    EXPECT_EQ(ControllerModel(info), "K38");

    TakeMemoryCopy(LoaderBlock().Model("K34").bytes(), info, entry);
    EXPECT_EQ(info.LoaderFormat, 0);
    EXPECT_EQ(SignatureText(info), "LDBK BLOCKS V40");

    // An unknown model keeps what the previous read selected.
    TakeMemoryCopy(LoaderBlock().Model("K38").bytes(), info, entry);
    TakeMemoryCopy(LoaderBlock().Model("K99").bytes(), info, entry);
    EXPECT_EQ(info.LoaderFormat, 1);
    EXPECT_EQ(SignatureText(info), "LDBK BLOCKS V50");
}

TEST(SystemInfoMemoryCopy, EccThresholdsLandInTheSlotOfTheirMode) {
    SystemInfoRecord info;
    info.EccReadThreshold = {11, 12, 13};
    info.EccCopyThreshold = {21, 22, 23};
    DeviceEntry entry;
    TakeMemoryCopy(LoaderBlock().Put(0x505, 2).Put(0x520, 0x40).Put(0x521, 0x50).bytes(), info,
                   entry);
    EXPECT_EQ(info.EccReadThreshold, (std::array<std::uint8_t, 3>{11, 0x40, 13}));
    EXPECT_EQ(info.EccCopyThreshold, (std::array<std::uint8_t, 3>{21, 0x50, 23}));

    TakeMemoryCopy(LoaderBlock().Put(0x505, 1).Put(0x520, 1).bytes(), info, entry);
    EXPECT_EQ(info.EccReadThreshold[0], 1);
    TakeMemoryCopy(LoaderBlock().Put(0x505, 3).Put(0x520, 3).bytes(), info, entry);
    EXPECT_EQ(info.EccReadThreshold[2], 3);
    EXPECT_EQ(info.EccReadThreshold[1], 0x40);
}

TEST(SystemInfoMemoryCopy, FillsConfigurationGeometryAndTheDeviceEntry) {
    SystemInfoRecord info;
    info.FeatureFlags[4] = 1;  // a clear bit clears the flag again
    DeviceEntry entry;
    LoaderBlock block;
    block.Put16(0x500, 0x2813)
        .Put(0x502, 0x2A)  // ConfigBit5 and CellNibble 0Ah
        .Put(0x503, 4)
        .Put(0x504, 2)
        .Put(0x509, 0x20)  // Remap, not Scramble
        .Put(0x50A, 0x20)
        .Put(0x50B, 8)
        .Put16(0x510, 10)
        .Put16(0x512, 12)
        .Put16(0x514, 21)
        .Put16(0x516, 30)
        .Put(0x522, 7)
        .Put(0x528, 0x11)
        .Put(0x52F, 0x88)
        .Put(0x540, 1)
        .Put(0x546, 7)
        .Put(0x547, 0x41)
        .Put(0x548, 9)
        .Put(0x54E, 15)
        .Put16(0x558, 0x1234)
        .Put16(0x55A, 1000)
        .Put16(0x55C, 0x0101)
        .Put16(0x55E, 0x0202)
        .Put(0x562, 5);
    TakeMemoryCopy(block.bytes(), info, entry);
    EXPECT_EQ(info.FlashConfig, 0x2813);
    EXPECT_EQ(info.SectorsPerPage, 32);
    EXPECT_EQ(info.ConfigBit5, 1);
    EXPECT_EQ(info.CellNibble, 0x0A);
    EXPECT_EQ(info.ChannelCount, 4);
    EXPECT_EQ(info.BankCount, 2);
    EXPECT_EQ(info.CeCount, 8);
    EXPECT_EQ(info.FeatureFlags[4], 0);
    EXPECT_EQ(info.FeatureFlags[5], 1);
    EXPECT_EQ(info.FeatureFlags[13], 1);
    EXPECT_EQ(entry.SysBlock, (std::array<std::uint16_t, 4>{10, 12, 21, 30}));
    EXPECT_EQ(entry.LaterBadUnit, (std::array<std::uint16_t, 2>{0x0101, 0x0202}));
    EXPECT_EQ(info.WearLevelFreq, 7);
    EXPECT_EQ(info.BankMap[0], 0x11);
    EXPECT_EQ(info.BankMap[7], 0x88);
    EXPECT_EQ(info.AsynTmc[6], 7);
    EXPECT_EQ(info.Tmc[0], 9);
    EXPECT_EQ(info.Tmc[6], 15);
    EXPECT_EQ(info.SupportBits, 0x41);
    EXPECT_EQ(info.CfgWord58, 0x1234);
    EXPECT_EQ(info.TableUnitsPerDie, 1000);
    EXPECT_EQ(info.DriverSetting, 5);
}

TEST(SystemInfoFlashCopy, TakesFlashOnlyFieldsButKeepsTheMemoryGeometry) {
    SystemInfoRecord info;
    DeviceEntry entry;
    TakeMemoryCopy(LoaderBlock().Put16(0x500, 0x2813).bytes(), info, entry);
    LoaderBlock flash;
    flash.Text(0x260, "FLASHMODEL")
        .Put16(0x280, 0xBEEF)
        .Put16(0x2DE, 0x4711)
        .Put16(0x500, 0x0000)
        .Put(0x506, 3)
        .Put(0x508, 0x34)
        .Put(0x51A, 0x12)
        .Put(0x520, 25)
        .Put(0x50C, 0x04)
        .Put(0x230, 5)  // more entries than the record keeps
        .Put16(0x238, 1)
        .Put16(0x23A, 2)
        .Put16(0x23C, 3)
        .Put16(0x23E, 4)
        .Put16(0x240, 99);
    TakeFlashCopy(flash.bytes(), info);
    EXPECT_STREQ(info.FlashModel.data(), "FLASHMODEL");
    EXPECT_EQ(info.FlashParams[0], 0xBEEF);
    EXPECT_EQ(info.FlashParams[47], 0x4711);
    EXPECT_EQ(info.FlashConfig, 0);
    EXPECT_EQ(info.SectorsPerPage, 32);  // decoded from the memory copy only
    EXPECT_EQ(info.IoDriveCurrent, 3);
    EXPECT_EQ(info.ReservedPercent10, 0x1234);
    EXPECT_EQ(info.DefectPercent10, 25);
    EXPECT_EQ(info.TableFlags, 0x04);
    EXPECT_EQ(info.LoaderListCount, 5);
    EXPECT_EQ(info.LoaderList[0].first, 1);
    EXPECT_EQ(info.LoaderList[0].second, 2);
    EXPECT_EQ(info.LoaderList[1].first, 3);
    EXPECT_EQ(info.LoaderList[1].second, 4);
}

TEST(SystemInfoFlashCopy, ShortBlocksReadAsZerosAndAnUnsetSignatureMatchesNothing) {
    SystemInfoRecord info;
    info.FlashParams[47] = 1;
    const std::vector<std::uint8_t> short_block(0x290, 0xFF);
    TakeFlashCopy(short_block, info);
    EXPECT_EQ(info.FlashParams[0], 0xFFFF);
    EXPECT_EQ(info.FlashParams[47], 0);
    EXPECT_EQ(info.LoaderListCount, 0xFF);
    EXPECT_EQ(info.LoaderList[1].second, 0xFFFF);
    EXPECT_EQ(info.FlashConfig, 0);

    const std::vector<std::uint8_t> cleared(64, 0);
    EXPECT_FALSE(StartsWithLoaderSignature(cleared, info));
    DeviceEntry entry;
    TakeMemoryCopy(LoaderBlock().Model("K12").bytes(), info, entry);
    EXPECT_FALSE(StartsWithLoaderSignature(cleared, info));
    std::vector<std::uint8_t> copy(info.LoaderSignature.begin(), info.LoaderSignature.end());
    EXPECT_TRUE(StartsWithLoaderSignature(copy, info));
    copy.pop_back();
    EXPECT_FALSE(StartsWithLoaderSignature(copy, info));
}

}  // namespace
}  // namespace vt
