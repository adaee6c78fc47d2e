#include "ctrl/read_system_info.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "access/raw_dump.h"
#include "ctrl/flash_config.h"
#include "platform/byte_order.h"
#include "vendor/catalogue.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

// Loader block layout.
constexpr std::size_t kLoaderListCount = 0x230;
constexpr std::size_t kLoaderListEntries = 0x238;
constexpr std::size_t kFlashModel = 0x260;
constexpr std::size_t kFlashParams = 0x280;
constexpr std::size_t kFwInfo = 0x300;
constexpr std::size_t kFlashConfig = 0x500;
constexpr std::size_t kConfigBits = 0x502;
constexpr std::size_t kChannelCount = 0x503;
constexpr std::size_t kBankCount = 0x504;
constexpr std::size_t kEccMode = 0x505;
constexpr std::size_t kIoDriveCurrent = 0x506;
constexpr std::size_t kConfigByte7 = 0x507;
constexpr std::size_t kReservedLow = 0x508;
constexpr std::size_t kFeatureFlagsLow = 0x509;
constexpr std::size_t kFeatureFlagsHigh = 0x50A;
constexpr std::size_t kCeCount = 0x50B;
constexpr std::size_t kTableFlags = 0x50C;
constexpr std::size_t kSysBlocks = 0x510;
constexpr std::size_t kReservedHigh = 0x51A;
constexpr std::size_t kThresholdOrDefect = 0x520;
constexpr std::size_t kEccCopyThreshold = 0x521;
constexpr std::size_t kWearLevelFreq = 0x522;
constexpr std::size_t kBankMap = 0x528;
constexpr std::size_t kAsynTmc = 0x540;
constexpr std::size_t kSupportBits = 0x547;
constexpr std::size_t kTmc = 0x548;
constexpr std::size_t kCfgWord58 = 0x558;
constexpr std::size_t kTableUnitsPerDie = 0x55A;
constexpr std::size_t kLaterBadUnits = 0x55C;
constexpr std::size_t kDriverSetting = 0x562;

constexpr std::size_t kModelOffset = 0x24;
constexpr std::size_t kMaxLoaderListEntries = 2;
constexpr std::size_t kFlashCopyClear = 64 * 1024;
constexpr std::uint8_t kMemorySpaceLoader = 3;
constexpr unsigned kLoaderBlockSectors = kLoaderBlockSize / 512;

using Signature = std::array<std::uint8_t, 16>;

constexpr Signature MakeSignature(const char (&text)[16]) {
    Signature s{};
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>(text[i]);
    return s;
}

constexpr Signature kSignatureV40 = MakeSignature("LDBK BLOCKS V40");
constexpr Signature kSignatureV50 = MakeSignature("LDBK BLOCKS V50");

struct ModelFormat {
    std::string_view model;
    std::uint8_t format;
    const Signature* signature;
};

constexpr std::array<ModelFormat, 6> kModelFormats{{
    {"K35", 0, &kSignatureV40},
    {"K34", 0, &kSignatureV40},
    {"K39", 0, &kSignatureV40},
    {"K38", 1, &kSignatureV50},
    {"K12", 1, &kSignatureV50},
    {"K14", 1, &kSignatureV50},
}};

template <std::size_t N>
void CopyBytes(std::span<const std::uint8_t> block, std::size_t at,
               std::array<std::uint8_t, N>& out) {
    for (std::size_t i = 0; i < N; ++i) out[i] = Byte(block, at + i);
}

std::uint8_t Bit(std::uint8_t byte, unsigned bit) {
    return (byte >> bit) & 1;
}

// One slot per ECC family: BCH 16, BCH 24, everything else.
std::size_t ThresholdSlot(std::uint8_t ecc_mode) {
    switch (ecc_mode) {
        case 1:
            return 0;
        case 2:
            return 1;
        default:
            return 2;
    }
}

// The fields both copies carry at the same offsets.
void TakeFlashConfiguration(std::span<const std::uint8_t> block, SystemInfoRecord& info) {
    info.FlashConfig = Le16(block, kFlashConfig);
    info.ChannelCount = Byte(block, kChannelCount);
    info.BankCount = Byte(block, kBankCount);
    info.CeCount = Byte(block, kCeCount);
    info.EccMode = Byte(block, kEccMode);
    info.ConfigBit5 = Bit(Byte(block, kConfigBits), 5);
    info.ConfigByte7 = Byte(block, kConfigByte7);
}

// The fields only a flash copy holds, before the search for one.
void ClearFlashCopyFields(SystemInfoRecord& info) {
    info.FlashModel = {};
    info.FlashParams = {};
    info.IoDriveCurrent = 0;
    info.ReservedPercent10 = 0;
    info.DefectPercent10 = 0;
    info.TableFlags = 0;
    info.LoaderListCount = 0;
    info.LoaderList = {};
    info.FlashCopyFound = false;
}

}  // namespace

std::string_view ControllerModel(const SystemInfoRecord& info) {
    return {reinterpret_cast<const char*>(info.FwInfo.data()) + kModelOffset, 3};
}

void TakeMemoryCopy(std::span<const std::uint8_t> block, SystemInfoRecord& info,
                    DeviceEntry& entry) {
    for (std::size_t i = 0; i < entry.SysBlock.size(); ++i) {
        entry.SysBlock[i] = Le16(block, kSysBlocks + 2 * i);
    }
    TakeFlashConfiguration(block, info);
    info.CellNibble = Byte(block, kConfigBits) & 0x0F;
    const std::size_t slot = ThresholdSlot(info.EccMode);
    info.EccReadThreshold[slot] = Byte(block, kThresholdOrDefect);
    info.EccCopyThreshold[slot] = Byte(block, kEccCopyThreshold);
    info.WearLevelFreq = Byte(block, kWearLevelFreq);
    const std::uint8_t flags_low = Byte(block, kFeatureFlagsLow);
    info.FeatureFlags[4] = Bit(flags_low, 4);
    info.FeatureFlags[5] = Bit(flags_low, 5);
    info.FeatureFlags[13] = Bit(Byte(block, kFeatureFlagsHigh), 5);
    entry.LaterBadUnit[0] = Le16(block, kLaterBadUnits);
    entry.LaterBadUnit[1] = Le16(block, kLaterBadUnits + 2);
    info.CfgWord58 = Le16(block, kCfgWord58);
    info.TableUnitsPerDie = Le16(block, kTableUnitsPerDie);
    CopyBytes(block, kAsynTmc, info.AsynTmc);
    CopyBytes(block, kTmc, info.Tmc);
    info.SupportBits = Byte(block, kSupportBits);
    info.DriverSetting = Byte(block, kDriverSetting);
    CopyBytes(block, kFwInfo, info.FwInfo);
    SelectLoaderFormat(info);
    // The geometry comes from the memory copy only: a flash copy may carry another FlashConfig.
    DecodeFlashConfig(info);
    CopyBytes(block, kBankMap, info.BankMap);
}

void TakeFlashCopy(std::span<const std::uint8_t> block, SystemInfoRecord& info) {
    for (std::size_t i = 0; i < info.FlashModel.size(); ++i) {
        info.FlashModel[i] = static_cast<char>(Byte(block, kFlashModel + i));
    }
    for (std::size_t i = 0; i < info.FlashParams.size(); ++i) {
        info.FlashParams[i] = Le16(block, kFlashParams + 2 * i);
    }
    TakeFlashConfiguration(block, info);
    info.IoDriveCurrent = Byte(block, kIoDriveCurrent);
    info.ReservedPercent10 =
        static_cast<std::uint16_t>(Byte(block, kReservedLow) | Byte(block, kReservedHigh) << 8);
    info.DefectPercent10 = Byte(block, kThresholdOrDefect);
    info.TableFlags = Byte(block, kTableFlags);
    // The count stays as read; only the entries the record has room for are kept.
    info.LoaderListCount = Byte(block, kLoaderListCount);
    const std::size_t kept = std::min<std::size_t>(info.LoaderListCount, kMaxLoaderListEntries);
    for (std::size_t e = 0; e < kept; ++e) {
        info.LoaderList[e].first = Le16(block, kLoaderListEntries + 4 * e);
        info.LoaderList[e].second = Le16(block, kLoaderListEntries + 4 * e + 2);
    }
    info.FlashCopyFound = true;
}

void SelectLoaderFormat(SystemInfoRecord& info) {
    const std::string_view model = ControllerModel(info);
    for (const ModelFormat& m : kModelFormats) {
        if (m.model == model) {
            info.LoaderFormat = m.format;
            info.LoaderSignature = *m.signature;
            return;
        }
    }
}

bool ReadSystemInfo(unsigned device, std::span<std::uint8_t> buffer) {
    if (buffer.size() < kReadSystemInfoBufferSize) return false;
    if (VC_ReadMemory(device, kMemorySpaceLoader, 0, buffer, kLoaderBlockSectors) != 1) {
        return false;
    }
    DeviceEntry& entry = EntryOf(device);
    TakeMemoryCopy(buffer.first(kLoaderBlockSize), SystemInfo, entry);
    ClearFlashCopyFields(SystemInfo);

    for (const std::uint16_t block : entry.SysBlock) {
        std::fill_n(buffer.begin(), kFlashCopyClear, std::uint8_t{0});
        VA_ReadSystemPages(device, 0, 0, static_cast<std::uint16_t>(block >> 1), block, 0, 3,
                           SystemInfo.LoaderFormat, buffer, kLoaderBlockSectors);
        DumpRawFile(kSysReadDumpName, buffer.first(kFlashCopyClear));
        if (StartsWithLoaderSignature(buffer, SystemInfo)) {
            TakeFlashCopy(buffer.first(kLoaderBlockSize), SystemInfo);
            break;
        }
    }
    return true;
}

}  // namespace vt
