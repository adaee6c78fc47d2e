#include "sim/bytes.h"

#include <algorithm>

namespace vt::sim {
namespace {

void Reserve(Bytes& bytes, std::size_t end) {
    if (bytes.size() < end) bytes.resize(end, 0);
}

}  // namespace

void PutLe16(Bytes& bytes, std::size_t at, std::uint16_t value) {
    Reserve(bytes, at + 2);
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    PutLe16(bytes, at, static_cast<std::uint16_t>(value));
    PutLe16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

void PutText(Bytes& bytes, std::size_t at, std::string_view text) {
    Reserve(bytes, at + text.size());
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

void PutAtaString(Bytes& bytes, std::size_t at, std::size_t length, std::string_view text) {
    Reserve(bytes, at + length);
    for (std::size_t i = 0; i < length; ++i) {
        const char c = i < text.size() ? text[i] : ' ';
        bytes[at + (i ^ 1)] = static_cast<std::uint8_t>(c);
    }
}

std::string HexByte(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string HexBytes(std::span<const std::uint8_t> bytes, std::string_view separator) {
    std::string text;
    text.reserve(bytes.size() * (2 + separator.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) text += separator;
        text += HexByte(bytes[i]);
    }
    return text;
}

void CopyPadded(std::span<const std::uint8_t> source, std::span<std::uint8_t> target) {
    const std::size_t n = std::min(source.size(), target.size());
    std::copy_n(source.begin(), n, target.begin());
    std::fill(target.begin() + static_cast<std::ptrdiff_t>(n), target.end(), std::uint8_t{0});
}

}  // namespace vt::sim
