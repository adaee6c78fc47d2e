#include "tools/hex_dump_line.h"

#include <array>
#include <cstdio>

namespace vt {

std::string HexDumpLine(std::uint32_t offset, std::span<const std::uint8_t> bytes) {
    std::array<unsigned, kHexDumpLineBytes> b{};
    for (std::size_t i = 0; i < b.size() && i < bytes.size(); ++i) b[i] = bytes[i];
    // 8 offset digits at most, 16 bytes of four characters, the brackets and the "|| ".
    char line[128];
    const int length = std::snprintf(
        line, sizeof line,
        "<%4.4X>%2.2X, %2.2X, %2.2X, %2.2X, %2.2X, %2.2X, %2.2X, %2.2X, || %2.2X, %2.2X, %2.2X, "
        "%2.2X, %2.2X, %2.2X, %2.2X, %2.2X",
        static_cast<unsigned>(offset), b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9],
        b[10], b[11], b[12], b[13], b[14], b[15]);
    return std::string(line, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::vector<std::string> HexDumpLines(std::span<const std::uint8_t> data, std::size_t first,
                                      std::size_t count) {
    std::vector<std::string> lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = first + i * kHexDumpLineBytes;
        const auto bytes = at < data.size() ? data.subspan(at) : std::span<const std::uint8_t>{};
        lines.push_back(HexDumpLine(static_cast<std::uint32_t>(at), bytes));
    }
    return lines;
}

}  // namespace vt
