#include "vendor/code_loading.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "access/debug_msg.h"
#include "access/device_tables.h"
#include "access/raw_dump.h"
#include "platform/backend.h"
#include "platform/files.h"
#include "vendor/carrier.h"
#include "vendor/loader_mode.h"

namespace vt {

std::string GdpFilePath;
std::uint8_t DownloadCounter = 0;

namespace {

constexpr std::size_t kTagOffset = 0x300;
constexpr std::size_t kConfigArea = 0x500;
constexpr std::size_t kConfigAreaSize = 40;
constexpr std::size_t kDefectByte = 0x520;
constexpr std::size_t kBankMap = 0x528;
constexpr std::size_t kPageSizeTable = 0x530;
constexpr std::size_t kCapacityRecord = 0x548;
constexpr std::size_t kCapacityRecordSize = 48;

void PutLittle16(std::span<std::uint8_t> at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLittle32(std::span<std::uint8_t> at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The GDP program expects SysBlock[0] to be the lower block of an odd pair it uses itself.
void ApplySysBlockSwap(std::array<std::uint16_t, 4>& sys) {
    if ((sys[2] & 1) && sys[0] != sys[2] - 1 && sys[1] != sys[2] - 1) std::swap(sys[0], sys[2]);
}

std::uint8_t FeatureByte9(const SystemInfoRecord& info) {
    const auto& f = info.FeatureFlags;
    std::uint8_t byte = static_cast<std::uint8_t>(f[0] | f[1] << 1 | f[2] << 2);
    if (info.BankCount > 2 || (info.BankCount == 2 && f[3])) byte |= 0x08;
    byte |= static_cast<std::uint8_t>(f[4] << 4 | f[5] << 5 | f[6] << 6);
    if (!f[4] && f[7]) byte |= 0x80;
    return byte;
}

std::uint8_t FeatureByte10(const SystemInfoRecord& info) {
    std::uint8_t byte = 0;
    for (int i = 0; i < 7; ++i)
        byte |= static_cast<std::uint8_t>((info.FeatureFlags[8 + i] & 1) << i);
    return byte;
}

}  // namespace

bool IsTaggedImage(std::span<const std::uint8_t> image) {
    if (image.size() < kTagOffset + 4) return false;
    const auto* tag = image.data() + kTagOffset;
    return std::memcmp(tag, "GDP_", 4) == 0 || std::memcmp(tag, "TST_", 4) == 0;
}

std::uint32_t TableAreaSize(const SystemInfoRecord& info) {
    // The GDP program sizes its table area with 16-bit block counts and 32-bit sums; unsigned
    // wrap-around reproduces its arithmetic for a reserve below three blocks as well.
    const std::uint32_t n = std::uint32_t{info.BankCount} * info.ChannelCount;
    const std::uint16_t c = static_cast<std::uint16_t>(info.BlocksPerCe / 2);
    const std::uint16_t d = info.PagesPerBlock;
    const std::uint16_t r =
        static_cast<std::uint16_t>((std::uint32_t{info.ReservedPercent10} * c) / 1000);
    const std::uint16_t u = static_cast<std::uint16_t>(c - r);
    const std::uint32_t m = n * static_cast<std::uint32_t>(static_cast<std::int32_t>(r) - 3);
    std::uint32_t t = n * (1616u + 8u * c + 5u * u + 5u * r) + 160u * m + 8u * (d * m + 1u) +
                      8u * (n * u + 1u) + 0x300000u;
    t = (t / 0x4000u + 1u) * 0x4000u;
    const std::uint32_t p = std::uint32_t{info.SectorsPerPage} * 512u * 2u * info.ChannelCount;
    if (p != 0 && t % p != 0) t = (t / p + 1u) * p;
    return t;
}

void AdaptCodeImage(unsigned device, std::span<std::uint8_t> image, const SystemInfoRecord& info) {
    if (image.size() < kCapacityRecord + kCapacityRecordSize) return;
    auto& sys = EntryOf(device).SysBlock;
    ApplySysBlockSwap(sys);

    const auto area = image.subspan(kConfigArea, kConfigAreaSize);
    std::fill(area.begin(), area.end(), 0);
    PutLittle16(area.subspan(0), info.FlashConfig);
    area[2] = static_cast<std::uint8_t>((info.CellNibble & 0x0F) | (info.ConfigBit5 ? 0x20 : 0));
    area[3] = info.ChannelCount;
    area[4] = info.BankCount;
    area[5] = info.EccMode;
    area[6] = info.IoDriveCurrent;
    area[7] = info.ConfigByte7;
    area[8] = static_cast<std::uint8_t>(info.ReservedPercent10);
    area[9] = FeatureByte9(info);
    area[10] = FeatureByte10(info);
    area[11] = info.CeCount;
    area[12] = info.TableFlags;
    for (std::size_t i = 0; i < 4; ++i) PutLittle16(area.subspan(16 + 2 * i), sys[i]);
    PutLittle16(area.subspan(24), 0x0040);
    area[26] = static_cast<std::uint8_t>(info.ReservedPercent10 >> 8);

    image[kDefectByte] = info.DefectPercent10;
    image[kDefectByte + 1] = 0;
    image[kDefectByte + 2] = 0;
    std::copy(info.BankMap.begin(), info.BankMap.end(), image.begin() + kBankMap);
    for (std::size_t i = 0; i < 24; ++i) {
        image[kPageSizeTable + i] = static_cast<std::uint8_t>(info.SectorsPerPage * 2 * i);
    }

    const auto record = image.subspan(kCapacityRecord, kCapacityRecordSize);
    std::fill(record.begin(), record.end(), 0);
    PutLittle32(record.subspan(0), TableAreaSize(info));
    PutLittle16(record.subspan(8), info.LoaderList[0].first);
    PutLittle16(record.subspan(12), info.CfgWord58);
    PutLittle16(record.subspan(14), info.TableUnitsPerDie);
    record[17] = info.SupportBits;
    constexpr std::uint8_t kTail[10] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x3C, 0x3D};
    std::copy(std::begin(kTail), std::end(kTail), record.begin() + 18);
}

bool DownloadCode(unsigned device, std::span<std::uint8_t> image, const std::string& file_path,
                  std::uint32_t load_address) {
    if (image.size() < kCodeImageSize) return false;
    const std::size_t chunk = CarrierMode == 2 ? 64 * 1024 : 32 * 1024;
    std::string error;
    bool cut = false;
    const auto file = platform::ReadFileHead(file_path, kCodeImageSize, error, cut);
    if (!file) {
        DebugMsg("%s\n", error.c_str());
        return false;
    }
    // The image is cut at its size, as the loader takes it; the log says so.
    if (cut)
        DebugMsg("%s is larger than %zu bytes: only they are loaded\n", file_path.c_str(),
                 kCodeImageSize);
    std::vector<std::uint8_t> code(kCodeImageSize, kCodeImageFill);
    std::copy(file->begin(), file->end(), code.begin());
    if (IsTaggedImage(code)) {
        AdaptCodeImage(device, code, SystemInfo);
        std::copy(code.begin(), code.end(), image.begin());
    }
    for (std::size_t offset = 0; offset < kCodeImageSize; offset += chunk) {
        const std::size_t length = std::min(chunk, kCodeImageSize - offset);
        const auto piece = std::span(code).subspan(offset, length);
        const auto sectors = static_cast<unsigned>(length / kSectorSize);
        const auto address = load_address + static_cast<std::uint32_t>(offset);
        if (!VA_WriteCodeToMem(device, piece, sectors, address)) return false;
        VA_ReadCodeFromMem(device, piece, sectors, address);
    }
    char name[32];
    std::snprintf(name, sizeof name, "11_WCM_%2.2d.raw", DownloadCounter);
    DumpRawFile(name, image.first(kCodeImageSize));
    ++DownloadCounter;
    DumpRawFile("11_WCM.raw", code);
    return true;
}

bool LoadGDP(unsigned device, std::span<std::uint8_t> image, std::uint8_t& flag,
             std::uint32_t load_address) {
    flag = 0;
    const platform::DriveLock hold(EntryOf(device).DevicePath);
    if (!VA_EnableVendorCmd(device, 10)) return false;
    if (!DownloadCode(device, image, GdpFilePath, load_address)) return false;
    return VA_JumpToPRAM(device);
}

}  // namespace vt
