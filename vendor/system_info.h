#pragma once
// The decoded controller configuration and flash geometry of the drive read last. The code loader
// and every view read it; the controller data layer (ReadSystemInfo) fills it.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

namespace vt {

struct LoaderListEntry {
    std::uint16_t first = 0;
    std::uint16_t second = 0;
};

struct SystemInfoRecord {
    // Flash configuration
    std::uint16_t FlashConfig = 0;
    std::uint8_t ChannelCount = 0;
    std::uint8_t BankCount = 0;
    std::uint8_t CeCount = 0;
    std::uint8_t EccMode = 0;
    std::uint8_t ConfigBit5 = 0;
    std::uint8_t ConfigByte7 = 0;
    std::uint8_t CellNibble = 0;
    std::array<char, 32> FlashModel{};
    std::array<std::uint16_t, 48> FlashParams{};
    // Drive settings
    std::uint8_t IoDriveCurrent = 0;
    std::array<std::uint8_t, 3> EccReadThreshold{};
    std::array<std::uint8_t, 3> EccCopyThreshold{};
    std::uint8_t DefectPercent10 = 0;
    std::uint16_t ReservedPercent10 = 0;
    std::uint8_t WearLevelFreq = 0;
    std::uint8_t SupportBits = 0;
    std::uint8_t TableFlags = 0;
    std::array<std::uint8_t, 64> FwInfo{};
    std::uint8_t DriverSetting = 0;
    // Features
    std::array<std::uint8_t, 15> FeatureFlags{};
    std::uint8_t LoaderFormat = 0;
    std::array<std::uint8_t, 16> LoaderSignature{};
    // Geometry
    std::uint16_t BlocksPerCe = 0;
    std::uint16_t UnitsPerDie = 0;
    std::uint16_t PagesPerBlock = 0;
    std::uint8_t DiesPerCe = 0;
    std::uint8_t SectorsPerPage = 0;
    std::array<std::uint8_t, 8> BankMap{};
    std::uint16_t CfgWord58 = 0;
    std::uint16_t TableUnitsPerDie = 0;
    std::array<std::uint8_t, 7> AsynTmc{};
    std::array<std::uint8_t, 7> Tmc{};
    // Loader list: the count as read, at most two entries kept.
    std::uint8_t LoaderListCount = 0;
    std::array<LoaderListEntry, 2> LoaderList{};
    // Whether the fields above that only a flash copy holds were read from one.
    bool FlashCopyFound = false;
};

extern SystemInfoRecord SystemInfo;

// A signature never set (no controller model recognised) is all zeros and would match any erased
// page, so it matches nothing.
inline bool LoaderSignatureKnown(const SystemInfoRecord& info) {
    return std::any_of(info.LoaderSignature.begin(), info.LoaderSignature.end(),
                       [](std::uint8_t b) { return b != 0; });
}

// True when the bytes start with the record's loader signature, which must be known: a cleared
// buffer left by a failed read must not pass as a valid copy.
inline bool StartsWithLoaderSignature(std::span<const std::uint8_t> bytes,
                                      const SystemInfoRecord& info) {
    const auto& signature = info.LoaderSignature;
    return LoaderSignatureKnown(info) && bytes.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), bytes.begin());
}

}  // namespace vt
