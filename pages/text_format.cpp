#include "pages/text_format.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>

namespace vt {
namespace {

void AppendV(std::string& out, const char* format, va_list args) {
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length <= 0) return;
    if (static_cast<std::size_t>(length) < sizeof small) {
        out.append(small, static_cast<std::size_t>(length));
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(length) + 1);
    std::vsnprintf(out.data() + start, static_cast<std::size_t>(length) + 1, format, args);
    out.resize(start + static_cast<std::size_t>(length));
}

void AppendPadded(std::string& out, std::uint64_t value, int width, char pad) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const auto count = static_cast<int>(end - digits);
    if (width > count) out.append(static_cast<std::size_t>(width - count), pad);
    out.append(digits, end);
}

}  // namespace

std::string Sprintf(const char* format, ...) {
    std::string out;
    va_list args;
    va_start(args, format);
    AppendV(out, format, args);
    va_end(args);
    return out;
}

void AppendF(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendV(out, format, args);
    va_end(args);
}

void AppendDecimal(std::string& out, std::uint64_t value, int width) {
    AppendPadded(out, value, width, ' ');
}

void AppendZeroPadded(std::string& out, std::uint64_t value, int digits) {
    AppendPadded(out, value, digits, '0');
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return out;
}

std::vector<std::string> SplitAtCrLf(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            return lines;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 2;
    }
}

}  // namespace vt
