#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ctrl/read_system_info.h"

namespace vt {
namespace {

struct LoaderBlock {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kLoaderBlockSize, 0);
    LoaderBlock& Put(std::size_t at, std::uint8_t value) {
        bytes.at(at) = value;
        return *this;
    }
    LoaderBlock& Put16(std::size_t at, std::uint16_t value) {
        return Put(at, value & 0xFF).Put(at + 1, value >> 8);
    }
    LoaderBlock& Model(const char* model) {
        std::memcpy(&bytes.at(0x324), model, 3);
        return *this;
    }
};

std::string SignatureText(const SystemInfoRecord& info) {
    return reinterpret_cast<const char*>(info.LoaderSignature.data());
}

TEST(SystemInfoMemoryCopy, ControllerModelSelectsTheLoaderFormatOrKeepsThePreviousOne) {
    SystemInfoRecord info;
    DeviceEntry entry;
    TakeMemoryCopy(LoaderBlock().Model("K38").bytes, info, entry);
    EXPECT_EQ(info.LoaderFormat, 1);
    EXPECT_EQ(SignatureText(info), "LDBK BLOCKS V50");
    TakeMemoryCopy(LoaderBlock().Model("K99").bytes, info, entry);
    EXPECT_EQ(info.LoaderFormat, 1);
    EXPECT_EQ(SignatureText(info), "LDBK BLOCKS V50");
    TakeMemoryCopy(LoaderBlock().Model("K34").bytes, info, entry);
    EXPECT_EQ(info.LoaderFormat, 0);
    EXPECT_EQ(SignatureText(info), "LDBK BLOCKS V40");
}

TEST(SystemInfoMemoryCopy, EccMode2WritesTheThresholdsOfSlot1Only) {
    SystemInfoRecord info;
    info.EccReadThreshold = {11, 12, 13};
    info.EccCopyThreshold = {21, 22, 23};
    DeviceEntry entry;
    TakeMemoryCopy(LoaderBlock().Put(0x505, 2).Put(0x520, 0x40).Put(0x521, 0x50).bytes, info,
                   entry);
    EXPECT_EQ(info.EccReadThreshold, (std::array<std::uint8_t, 3>{11, 0x40, 13}));
    EXPECT_EQ(info.EccCopyThreshold, (std::array<std::uint8_t, 3>{21, 0x50, 23}));
}

TEST(SystemInfoFlashCopy, KeepsTheMemoryGeometryAndAtMostTwoLoaderListEntries) {
    SystemInfoRecord info;
    DeviceEntry entry;
    TakeMemoryCopy(LoaderBlock().Put16(0x500, 0x2813).bytes, info, entry);
    LoaderBlock flash;
    flash.Put(0x230, 5).Put16(0x238, 1).Put16(0x23A, 2).Put16(0x23C, 3).Put16(0x23E, 4);
    flash.Put16(0x240, 99).Put(0x508, 0x34).Put(0x51A, 0x12);
    TakeFlashCopy(flash.bytes, info);
    EXPECT_EQ(info.FlashConfig, 0);
    EXPECT_EQ(info.SectorsPerPage, 32);  // decoded from the memory copy only
    EXPECT_EQ(info.ReservedPercent10, 0x1234);
    EXPECT_EQ(info.LoaderListCount, 5);  // as read
    EXPECT_EQ(info.LoaderList[1].first, 3);
    EXPECT_EQ(info.LoaderList[1].second, 4);

    // A block shorter than its fields reads as zeros past its end.
    info.FlashParams[47] = 1;
    TakeFlashCopy(std::vector<std::uint8_t>(0x290, 0xFF), info);
    EXPECT_EQ(info.FlashParams[0], 0xFFFF);
    EXPECT_EQ(info.FlashParams[47], 0);
}

TEST(SystemInfoFlashCopy, AClearedBufferNeverPassesForAnUnsetSignature) {
    SystemInfoRecord info;
    const std::vector<std::uint8_t> cleared(64, 0);
    EXPECT_FALSE(StartsWithLoaderSignature(cleared, info));
    DeviceEntry entry;
    TakeMemoryCopy(LoaderBlock().Model("K12").bytes, info, entry);
    std::vector<std::uint8_t> copy(info.LoaderSignature.begin(), info.LoaderSignature.end());
    EXPECT_TRUE(StartsWithLoaderSignature(copy, info));
    copy.pop_back();
    EXPECT_FALSE(StartsWithLoaderSignature(copy, info));
}

}  // namespace
}  // namespace vt
