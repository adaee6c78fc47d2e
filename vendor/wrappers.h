#pragma once
// The operations the rest of the tool calls: boolean results, pauses, splitting of long transfers,
// loops over flash channels, capacity computations.

#include <array>
#include <cstdint>
#include <span>

#include "vendor/carrier.h"

namespace vt {

inline constexpr std::size_t kLoaderInfoSize = 40;
inline constexpr std::size_t kLoaderInfoOffset = 560;
inline constexpr std::size_t kSystemPagesBufferSize = 128 * 1024;

bool VA_ReadRegister(unsigned device, std::uint32_t address, std::uint8_t& value);
bool VA_WriteRegister(unsigned device, std::uint32_t address, std::uint8_t value);
bool VA_Identify(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors);
bool VA_ReadEraseCount(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                       std::uint8_t channel, std::uint8_t bank);
bool VA_ReadBadBlockTable(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                          std::uint8_t channel, std::uint8_t bank);

// Where a block's page starts in what a system page read of its unit answers: the second block of
// the pair sits 4096 x sectors-per-page bytes further on.
std::uint32_t OddBlockOffset(std::uint16_t block, std::uint32_t spp);
// Reads a system page in pieces of at most 128 sectors. The buffer (at least 128 KiB) is cleared
// first; callers judge the data by its signature, not by the result of each read. False only when
// the geometry leaves no page size to step by, or the buffer is too small.
bool VA_ReadSystemPages(unsigned device, std::uint8_t channel, std::uint8_t bank,
                        std::uint16_t block_unit, std::uint16_t block, std::uint16_t page,
                        std::uint8_t ecc_option, std::uint8_t layout_option,
                        std::span<std::uint8_t> buffer, unsigned total_sectors);
// One page of every channel (channel == ChannelCount) or of one channel; channel c's data always
// lands at c x page size. False at the first failed read, or when the buffer cannot hold it.
bool VA_ReadFlashPage(unsigned device, std::uint8_t channel, std::uint8_t bank, std::uint16_t block,
                      std::uint16_t page, std::uint8_t ecc_option, std::uint8_t layout_option,
                      std::span<std::uint8_t> buffer, std::uint8_t last_byte);

bool VA_ScanLoaderBlocks(unsigned device, std::span<std::uint8_t> buffer,
                         std::array<std::uint8_t, kLoaderInfoSize>& info);
bool VA_FindLoaderInfo(unsigned device, std::span<std::uint8_t> buffer, std::uint8_t& first);

// The capacity in sectors, 48 bits wide (0: it could not be read). An ATA drive reports it in
// IDENTIFY words 60-61, or, past 28 bits, in words 100-103; a bridge's READ CAPACITY(10) gives
// the last LBA, and READ CAPACITY(16) does past 32 bits.
std::uint64_t VA_GetAtaCapacity(unsigned device);
std::uint64_t VA_GetScsiCapacity(unsigned device);
std::uint64_t VA_GetCapacity(unsigned device);
std::uint64_t GetCapacitySectors(unsigned device);
std::uint64_t GetCapacityBytes(unsigned device);
std::uint64_t GetCapacityMB(unsigned device);
// A sector count in bytes and in whole MiB, as the two above give it, for a caller that needs
// both of one read.
constexpr std::uint64_t CapacityBytesOf(std::uint64_t sectors) {
    return sectors * kSectorSize;
}
constexpr std::uint64_t CapacityMBOf(std::uint64_t sectors) {
    return sectors / 2048;
}

}  // namespace vt
