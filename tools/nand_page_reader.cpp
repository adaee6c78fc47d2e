#include "tools/nand_page_reader.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "tools/hex_dump_line.h"

namespace vt {
namespace {

constexpr std::size_t kSectorBytes = 512;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<int> ToolkitStrToInt(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    bool hex = false;
    if (at < text.size() && (text[at] == '$' || text[at] == 'x' || text[at] == 'X')) {
        hex = true;
        ++at;
    } else if (at + 1 < text.size() && text[at] == '0' &&
               (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        hex = true;
        at += 2;
    }
    if (at == text.size()) return std::nullopt;

    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t value = 0;
    for (; at < text.size(); ++at) {
        const int digit =
            hex ? HexDigit(text[at]) : (text[at] >= '0' && text[at] <= '9' ? text[at] - '0' : -1);
        if (digit < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        if (value > limit) return std::nullopt;
    }
    auto bits = static_cast<std::uint32_t>(value);
    if (negative) bits = ~bits + 1u;
    return static_cast<int>(bits);
}

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
