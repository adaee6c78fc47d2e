#include "ctrl/rw_self_test.h"

#include <algorithm>

#include "platform/backend.h"
#include "vendor/catalogue.h"
#include "vendor/loader_mode.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

constexpr std::size_t kWordsPerSector = 256;
constexpr std::size_t kCompareBlockWords = 256;

bool Fits(std::size_t size, unsigned sectors) {
    return sectors <= kSelfTestMaxSectors && std::size_t{sectors} * 512 <= size;
}

}  // namespace

bool FillPattern(std::span<std::uint8_t> buffer, unsigned sectors, std::uint32_t lba) {
    if (!Fits(buffer.size(), sectors)) return false;
    const std::size_t words = std::size_t{sectors} * kWordsPerSector;
    const std::uint32_t first = lba << 8;
    std::uint8_t* out = buffer.data();
    for (std::size_t i = 0; i < words; ++i) {
        const auto word = static_cast<std::uint16_t>(first + i);
        out[2 * i] = static_cast<std::uint8_t>(word);
        out[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
    }
    return true;
}

bool MatchesPattern(std::span<const std::uint8_t> buffer, unsigned sectors, std::uint32_t lba) {
    if (!Fits(buffer.size(), sectors)) return false;
    const std::size_t words = std::size_t{sectors} * kWordsPerSector;
    const std::uint32_t first = lba << 8;
    const std::uint8_t* in = buffer.data();
    // Differences are gathered a block at a time so that the inner loop has no early exit.
    for (std::size_t block = 0; block < words; block += kCompareBlockWords) {
        const std::size_t end = std::min(words, block + kCompareBlockWords);
        unsigned difference = 0;
        for (std::size_t i = block; i < end; ++i) {
            const auto word = static_cast<std::uint16_t>(first + i);
            difference |= (in[2 * i] ^ static_cast<std::uint8_t>(word)) |
                          (in[2 * i + 1] ^ static_cast<std::uint8_t>(word >> 8));
        }
        if (difference != 0) return false;
    }
    return true;
}

std::vector<std::uint16_t> SelfTestRegions(std::uint16_t gib) {
    const unsigned spacing = gib / 16u + 1;
    std::vector<std::uint16_t> regions;
    for (unsigned i = 0; i < gib; i += spacing) regions.push_back(static_cast<std::uint16_t>(i));
    return regions;
}

bool VA_WriteVerifyRange(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                         std::uint32_t lba) {
    if (!FillPattern(buffer, sectors, lba)) return false;
    if (VC_WriteSectors(device, buffer, sectors, lba) != 1) return false;
    std::fill_n(buffer.begin(), std::size_t{sectors} * 512, 0);
    if (VC_FlushCache(device) != 1) return false;
    platform::SleepMs(10);
    if (VC_ReadSectors(device, buffer, sectors, lba) != 1) return false;
    return MatchesPattern(buffer, sectors, lba);
}

bool VA_FillRange(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                  std::uint32_t lba) {
    if (!Fits(buffer.size(), sectors)) return false;
    std::fill_n(buffer.begin(), std::size_t{sectors} * 512, 0xFF);
    return VC_WriteSectors(device, buffer, sectors, lba) == 1;
}

bool RunRwSelfTest(unsigned device, std::span<std::uint8_t> buffer) {
    ExitLoaderMode(device, buffer);
    const auto gib = static_cast<std::uint16_t>(GetCapacityMB(device) / 1024);
    for (const std::uint16_t region : SelfTestRegions(gib)) {
        const std::uint32_t base = std::uint32_t{region} * kSelfTestRegionSectors;
        for (const SelfTestRun& run : kSelfTestRuns) {
            if (!VA_WriteVerifyRange(device, buffer, run.sectors, base + run.offset)) return false;
        }
    }
    const std::uint32_t sectors = GetCapacitySectors(device);
    // 0 is a capacity that could not be read: its "last sector" would wrap to LBA FFFFFFFFh.
    if (sectors == 0 || sectors == kSelfTestRefusedCapacity) return false;
    if (!VA_FillRange(device, buffer, 1, 0)) return false;
    if (!VA_WriteVerifyRange(device, buffer, 1, sectors - 1)) return false;
    return VC_FlushCache(device) == 1;
}

}  // namespace vt
