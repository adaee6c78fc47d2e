#pragma once
// Little- and big-endian fields of what a drive sends. A field that does not lie wholly inside the
// bytes reads as 0, so a short or damaged answer can never lead a decoder outside its buffer.

#include <cstddef>
#include <cstdint>
#include <span>

namespace vt {

inline bool FieldInside(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
    return at <= bytes.size() && size <= bytes.size() - at;
}

inline std::uint8_t Byte(std::span<const std::uint8_t> bytes, std::size_t at) {
    return at < bytes.size() ? bytes[at] : 0;
}

inline std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (!FieldInside(bytes, at, 2)) return 0;
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline std::uint16_t Be16(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (!FieldInside(bytes, at, 2)) return 0;
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

}  // namespace vt
