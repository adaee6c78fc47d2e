#pragma once
// Little- and big-endian fields of bytes that come from outside the program: a drive's answers,
// bench and capture files, USB wrappers, the records of the system's device controls. A field that
// does not lie wholly inside the bytes reads as 0, so a short or damaged answer can never lead a
// reader outside its buffer.

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

// The `size` bytes from `at`, the first the least significant (Le) or the most significant (Be).
inline std::uint64_t LeField(std::span<const std::uint8_t> bytes, std::size_t at,
                             std::size_t size) {
    if (!FieldInside(bytes, at, size)) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = value << 8 | bytes[at + i];
    return value;
}

inline std::uint64_t BeField(std::span<const std::uint8_t> bytes, std::size_t at,
                             std::size_t size) {
    if (!FieldInside(bytes, at, size)) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value = value << 8 | bytes[at + i];
    return value;
}

inline std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(LeField(bytes, at, 2));
}
inline std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(LeField(bytes, at, 4));
}
inline std::uint64_t Le64(std::span<const std::uint8_t> bytes, std::size_t at) {
    return LeField(bytes, at, 8);
}
inline std::uint16_t Be16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(BeField(bytes, at, 2));
}
inline std::uint32_t Be32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(BeField(bytes, at, 4));
}
inline std::uint64_t Be64(std::span<const std::uint8_t> bytes, std::size_t at) {
    return BeField(bytes, at, 8);
}

}  // namespace vt
