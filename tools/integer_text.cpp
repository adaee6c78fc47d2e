#include "tools/integer_text.h"

#include <cstdint>

namespace vt {
namespace {

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

}  // namespace vt
