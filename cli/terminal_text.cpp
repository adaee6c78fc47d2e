#include "cli/terminal_text.h"

#include <cstdio>

namespace vt::cli {
namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

}  // namespace

std::string TerminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool c0 = byte < 0x20 && byte != '\t' && byte != '\n';
        const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c1) {
            AppendEscaped(out, byte);
            AppendEscaped(out, static_cast<unsigned char>(text[++i]));
        } else if (c0 || byte == 0x7F) {
            AppendEscaped(out, byte);
        } else {
            out += text[i];
        }
    }
    return out;
}

void PrintLine(std::string_view line) {
    std::printf("%s\n", TerminalText(line).c_str());
}

void Warn(std::string_view message) {
    std::fprintf(stderr, "vtutil: %s\n", TerminalText(message).c_str());
}

}  // namespace vt::cli
