#include "tools/debug_console.h"

#include <cstdio>
#include <cstdlib>

namespace vt {
namespace {

// The console can only name 16-bit registers and 8-bit values.
std::uint32_t RegisterAddress(std::uint32_t number) {
    return number & 0xFFFFu;
}

std::string NotHex(const std::string& token) {
    return "Not a hexadecimal number: " + token.substr(0, 40) + "\n";
}

std::string Format(const char* format, unsigned a) {
    char text[96];
    const int length = std::snprintf(text, sizeof text, format, a);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace

std::string UpperCase8Bit(std::string_view text) {
    std::string out(text);
    for (auto& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::vector<std::string> DebugTokens(std::string_view command) {
    std::vector<std::string> tokens;
    std::size_t at = 0;
    while (at < command.size()) {
        const auto start = command.find_first_not_of(' ', at);
        if (start == std::string_view::npos) break;
        const auto end = command.find(' ', start);
        const auto stop = end == std::string_view::npos ? command.size() : end;
        tokens.emplace_back(command.substr(start, stop - start));
        at = stop;
    }
    return tokens;
}

std::optional<std::uint32_t> ParseHexToken(const std::string& token) {
    std::string_view digits = token;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'X' || digits[1] == 'x')) {
        digits.remove_prefix(2);
    }
    if (digits.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::optional<std::string> RunDebugCommand(std::string& command, const DebugConsolePort& port) {
    command = UpperCase8Bit(command);
    const auto tokens = DebugTokens(command);
    if (tokens.empty()) return std::nullopt;
    const auto& verb = tokens[0];

    if (verb.front() == 'O') {
        if (tokens.size() < 3) return std::nullopt;
        const auto address = ParseHexToken(tokens[1]);
        if (!address) return NotHex(tokens[1]);
        const auto number = ParseHexToken(tokens[2]);
        if (!number) return NotHex(tokens[2]);
        const auto value = static_cast<std::uint8_t>(*number & 0xFFu);
        // A failed write shows nothing, like a successful one: the console has no output for it.
        if (port.write_register) (void)port.write_register(RegisterAddress(*address), value);
        return std::nullopt;
    }
    if (verb.front() == 'I') {
        if (tokens.size() < 2) return std::nullopt;
        const auto number = ParseHexToken(tokens[1]);
        if (!number) return NotHex(tokens[1]);
        const auto address = RegisterAddress(*number);
        std::uint8_t value = 0;
        if (!port.read_register || !port.read_register(address, value)) {
            return Format("Read register %Xh failed\n", address);
        }
        return Format("%Xh\n", value);
    }
    if (verb == "LBA") {
        if (tokens.size() < 2) return std::nullopt;
        const auto location =
            port.translate_lba ? port.translate_lba(tokens[1]) : std::optional<LbaLocation>{};
        if (!location) return "(channel,bank,block) unknown: the drive has no LBA translation\n";
        char text[96];
        const int length = std::snprintf(text, sizeof text, "(channel,bank,block)=(%d,%d,0x%x)\n",
                                         static_cast<int>(location->channel),
                                         static_cast<int>(location->bank), location->block);
        return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
    }
    return std::nullopt;
}

}  // namespace vt
