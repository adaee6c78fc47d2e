#pragma once
// Byte buffers and the two byte orders of the protocol: parameters in vendor command blocks are
// most significant byte first, everything the controller returns least significant byte first.
//
// The bench reads fields with the program's bounded readers (platform/byte_order.h): how bytes
// make a number is no part of the protocol. The protocol's constants (command codes, block
// layouts, offsets of what a drive answers) are the bench's own copy on purpose, written apart
// from the tool's: an emulator that shared the tool's definitions would agree with its mistakes.

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

// Two upper-case hex digits, as bench files, fault names and command logs write a byte.
std::string HexByte(std::uint8_t value);
// A run of bytes in that form, `separator` between two bytes: "0A1B" or "0A 1B".
std::string HexBytes(std::span<const std::uint8_t> bytes, std::string_view separator = {});

// Copies as much of `source` as fits into `target` and zero-fills the rest of `target`.
void CopyPadded(std::span<const std::uint8_t> source, std::span<std::uint8_t> target);

}  // namespace vt::sim
