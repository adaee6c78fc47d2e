#pragma once
// The strings of ATA IDENTIFY data (serial number, firmware revision, model): the drive sends two
// characters per word, the first in the high byte, padded with blanks.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vt {

// Swaps the two bytes of each word, turning a string field as sent into reading order and back.
void SwapBytePairs(std::span<std::uint8_t> text);
// The stored form of a string field, in place: byte pairs swapped, leading spaces dropped,
// trailing spaces and zeros zeroed.
void SwapAndTrim(std::span<std::uint8_t> text);

// The field of `length` bytes at `offset` as the drive sent it, in reading order, up to the first
// zero byte; what lies past the end of `identify` ends it. Not trimmed.
std::string AtaString(std::span<const std::uint8_t> identify, std::size_t offset,
                      std::size_t length);
// The same of a field already in reading order (the device tables keep them so).
std::string IdentifyString(std::span<const std::uint8_t> data, std::size_t offset,
                           std::size_t length);

// An identify string for display: leading and trailing blanks and control characters removed, DEL
// (7Fh) among them, as some drives pad with it.
std::string TrimDisplay(std::string_view text);

}  // namespace vt
