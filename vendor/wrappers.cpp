#include "vendor/wrappers.h"

#include <algorithm>

#include "access/device_tables.h"
#include "platform/byte_order.h"
#include "vendor/carrier.h"
#include "vendor/catalogue.h"
#include "vendor/system_info.h"

namespace vt {
namespace {}  // namespace

std::uint32_t OddBlockOffset(std::uint16_t block, std::uint32_t spp) {
    return (block & 1) ? spp * 4096 : 0;
}

bool VA_ReadRegister(unsigned device, std::uint32_t address, std::uint8_t& value) {
    return VC_ReadRegister(device, address, value) == 1;
}

bool VA_WriteRegister(unsigned device, std::uint32_t address, std::uint8_t value) {
    return VC_WriteRegister(device, address, value) == 1;
}

bool VA_Identify(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors) {
    return VC_Identify(device, buffer, sectors) == 1;
}

bool VA_ReadEraseCount(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                       std::uint8_t channel, std::uint8_t bank) {
    return VC_ReadEraseCount(device, buffer, sectors, channel, bank, 0) == 1;
}

bool VA_ReadBadBlockTable(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                          std::uint8_t channel, std::uint8_t bank) {
    return VC_ReadBadBlockTable(device, buffer, sectors, channel, bank, 0) == 1;
}

bool VA_ReadSystemPages(unsigned device, std::uint8_t channel, std::uint8_t bank,
                        std::uint16_t block_unit, std::uint16_t block, std::uint16_t page,
                        std::uint8_t ecc_option, std::uint8_t layout_option,
                        std::span<std::uint8_t> buffer, unsigned total_sectors) {
    (void)channel;  // the firmware reads a system page from every channel: byte 3 is always FFh
    if (buffer.size() < kSystemPagesBufferSize) return false;
    // A byte, not an int: the library clears with one memset, where a loop of 128 KiB per page
    // read dominates the sanitizer builds.
    std::fill_n(buffer.begin(), kSystemPagesBufferSize, std::uint8_t{0});
    const std::uint32_t spp = SystemInfo.SectorsPerPage;
    if (spp == 0) return false;
    const std::uint32_t base = OddBlockOffset(block, spp);
    std::uint32_t m = 0;
    for (unsigned remaining = total_sectors; remaining > 0;) {
        const unsigned c = std::min(remaining, kMaxCarrierSectors);
        const std::size_t position = std::size_t{m} * spp * kSectorSize;
        if (position + std::size_t{c} * kSectorSize > buffer.size()) return false;
        VC_ReadSystemPage(device, 0xFF, bank, block_unit, page, ecc_option, layout_option,
                          buffer.subspan(position), c,
                          base + m * spp * static_cast<std::uint32_t>(kSectorSize));
        m += c / spp;
        remaining -= c;
    }
    return true;
}

bool VA_ReadFlashPage(unsigned device, std::uint8_t channel, std::uint8_t bank, std::uint16_t block,
                      std::uint16_t page, std::uint8_t ecc_option, std::uint8_t layout_option,
                      std::span<std::uint8_t> buffer, std::uint8_t last_byte) {
    const std::uint32_t spp = SystemInfo.SectorsPerPage;
    const std::size_t page_size = std::size_t{spp} * kSectorSize;
    const bool all = channel == SystemInfo.ChannelCount;
    const unsigned first = all ? 0 : channel;
    const unsigned end = all ? SystemInfo.ChannelCount : channel + 1u;
    if (spp == 0 || end * page_size > buffer.size()) return false;
    for (unsigned c = first; c < end; ++c) {
        const std::uint32_t offset =
            OddBlockOffset(block, spp) + c * static_cast<std::uint32_t>(page_size);
        if (VC_ReadFlashPage(device, static_cast<std::uint8_t>(c), bank, block, page, ecc_option,
                             layout_option, buffer.subspan(c * page_size, page_size), spp,
                             last_byte, offset) != 1) {
            return false;
        }
    }
    return true;
}

bool VA_ScanLoaderBlocks(unsigned device, std::span<std::uint8_t> buffer,
                         std::array<std::uint8_t, kLoaderInfoSize>& info) {
    if (buffer.size() < kLoaderInfoOffset + kLoaderInfoSize) return false;
    const std::uint8_t last_byte = SystemInfo.EccMode == 3 ? SystemInfo.SectorsPerPage : 4;
    // Without a known signature nothing can be found: no page is read.
    if (!LoaderSignatureKnown(SystemInfo)) return false;
    for (std::uint16_t block = 0; block < 4; ++block) {
        VA_ReadFlashPage(device, SystemInfo.ChannelCount, 0, block, 0, 3, SystemInfo.LoaderFormat,
                         buffer, last_byte);
        if (StartsWithLoaderSignature(buffer, SystemInfo)) {
            std::copy_n(buffer.begin() + kLoaderInfoOffset, kLoaderInfoSize, info.begin());
            return true;
        }
    }
    return false;
}

bool VA_FindLoaderInfo(unsigned device, std::span<std::uint8_t> buffer, std::uint8_t& first) {
    first = 0;
    std::array<std::uint8_t, kLoaderInfoSize> info{};
    if (!VA_ScanLoaderBlocks(device, buffer, info)) return false;
    first = info[0];
    return true;
}

std::uint64_t VA_GetAtaCapacity(unsigned device) {
    std::array<std::uint8_t, kSectorSize> identify{};
    if (VC_Identify(device, identify, 1) != 1) return 0;
    const std::uint32_t words60 = Le32(identify, 120);
    if (words60 != 0x0FFFFFFF) return words60;
    // Words 100-103 hold a 48-bit count; anything wider (all ones, say) is no capacity.
    const std::uint64_t words100 = Le64(identify, 200);
    return words100 >= kLba48End ? 0 : words100;
}

std::uint64_t VA_GetScsiCapacity(unsigned device) {
    std::array<std::uint8_t, kSectorSize> answer{};
    if (VC_ReadCapacity(device, answer, 1) != 1) return 0;
    const std::uint64_t last = Be32(answer, 0);
    if (last != 0xFFFFFFFF) return last;
    // Past 32 bits the short answer saturates; the long one has the last LBA in full.
    if (VC_ReadCapacity16(device, answer) != 1) return 0;
    const std::uint64_t last16 = Be64(answer, 0);
    return last16 >= kLba48End ? 0 : last16;
}

std::uint64_t VA_GetCapacity(unsigned device) {
    return EntryOf(device).DirectVendorCdb ? VA_GetScsiCapacity(device) : VA_GetAtaCapacity(device);
}

std::uint64_t GetCapacitySectors(unsigned device) {
    return VA_GetCapacity(device);
}

std::uint64_t GetCapacityBytes(unsigned device) {
    return CapacityBytesOf(VA_GetCapacity(device));
}

std::uint64_t GetCapacityMB(unsigned device) {
    return CapacityMBOf(VA_GetCapacity(device));
}

}  // namespace vt
