#pragma once
// Byte buffers and the two byte orders of the protocol: parameters in vendor command blocks are
// most significant byte first, everything the controller returns least significant byte first.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vt::sim {

using Bytes = std::vector<std::uint8_t>;

// Writers grow the buffer when the field lies past its end, so a layout can be built field by
// field.
void PutLe16(Bytes& bytes, std::size_t at, std::uint16_t value);
void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value);
void PutText(Bytes& bytes, std::size_t at, std::string_view text);
// IDENTIFY strings: the first character of each pair in the high byte, padded with spaces.
void PutAtaString(Bytes& bytes, std::size_t at, std::size_t length, std::string_view text);

std::uint16_t GetBe16(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t GetBe32(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint16_t GetLe16(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t at);

// Two upper-case hex digits, as bench files, fault names and command logs write a byte.
std::string HexByte(std::uint8_t value);
// A run of bytes in that form, `separator` between two bytes: "0A1B" or "0A 1B".
std::string HexBytes(std::span<const std::uint8_t> bytes, std::string_view separator = {});

// Copies as much of `source` as fits into `target` and zero-fills the rest of `target`.
void CopyPadded(std::span<const std::uint8_t> source, std::span<std::uint8_t> target);

}  // namespace vt::sim
