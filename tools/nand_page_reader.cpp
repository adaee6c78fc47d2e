#include "tools/nand_page_reader.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "tools/hex_dump_line.h"

namespace vt {
namespace {

constexpr std::size_t kSectorBytes = 512;

}  // namespace

std::string InvalidIntegerMessage(std::string_view text) {
    return "''" + std::string(text) + "'' is not a valid integer value";
}

int StrToIntOrThrow(std::string_view text) {
    const auto value = ToolkitStrToInt(text);
    if (!value) throw std::runtime_error(InvalidIntegerMessage(text));
    return *value;
}

bool RequiredBoxesFilled(const PageReaderBoxes& boxes) {
    return !boxes.channel.empty() && !boxes.bank.empty() && !boxes.block.empty() &&
           !boxes.page.empty();
}

PageAddress SystemPageAddress(const PageReaderBoxes& boxes) {
    PageAddress address;
    address.page = static_cast<std::uint16_t>(StrToIntOrThrow(boxes.page));
    address.block = static_cast<std::uint16_t>(StrToIntOrThrow(boxes.block));
    address.block_unit = static_cast<std::uint16_t>(StrToIntOrThrow(boxes.block_unit));
    address.bank = static_cast<std::uint8_t>(StrToIntOrThrow(boxes.bank));
    address.channel = static_cast<std::uint8_t>(StrToIntOrThrow(boxes.channel));
    address.ecc_option = boxes.ecc24 ? 1 : 0;
    return address;
}

PageAddress FlashPageAddress(const PageReaderBoxes& boxes, unsigned channel_count) {
    PageAddress address;
    address.page = static_cast<std::uint16_t>(StrToIntOrThrow(boxes.page));
    address.block = static_cast<std::uint16_t>(StrToIntOrThrow(boxes.block));
    address.bank = static_cast<std::uint8_t>(StrToIntOrThrow(boxes.bank));
    const int channel = StrToIntOrThrow(boxes.channel);
    if (channel < 0 || static_cast<unsigned>(channel) > channel_count) {
        char text[128];
        std::snprintf(text, sizeof text, "Channel %d is out of range: the drive has %u channels",
                      channel, channel_count);
        throw std::runtime_error(text);
    }
    address.channel = static_cast<std::uint8_t>(channel);
    address.ecc_option = boxes.ecc24 ? 1 : 0;
    return address;
}

std::size_t FlashPageBufferSize(const PageAddress& address, unsigned channel_count,
                                unsigned sectors_per_page) {
    const std::size_t pages =
        address.channel >= channel_count ? channel_count : address.channel + 1u;
    return pages * sectors_per_page * kSectorBytes;
}

std::size_t FlashPageOffset(const PageAddress& address, unsigned channel_count,
                            unsigned sectors_per_page) {
    if (address.channel >= channel_count) return 0;
    return std::size_t{address.channel} * sectors_per_page * kSectorBytes;
}

std::vector<std::string> PageDumpLines(std::span<const std::uint8_t> buffer, std::size_t page,
                                       std::size_t page_bytes) {
    if (page >= buffer.size()) return {};
    const auto data = buffer.subspan(page, std::min(page_bytes, buffer.size() - page));
    return HexDumpLines(data, 0, (data.size() + kHexDumpLineBytes - 1) / kHexDumpLineBytes);
}

}  // namespace vt
