#pragma once
// The dump line of the configuration dump and the page reader: an offset in angle brackets and
// 16 bytes, split into two halves of eight.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vt {

inline constexpr std::size_t kHexDumpLineBytes = 16;

// "<%4.4X>" with the offset, then the 16 bytes. Bytes past the end of `bytes` show as 00.
std::string HexDumpLine(std::uint32_t offset, std::span<const std::uint8_t> bytes);
// `count` lines from byte `first` of `data`, each labelled with its offset in `data`.
std::vector<std::string> HexDumpLines(std::span<const std::uint8_t> data, std::size_t first,
                                      std::size_t count);

}  // namespace vt
