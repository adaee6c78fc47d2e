#include "tools/debug_console.h"

#include <cstdio>
#include <cstdlib>

namespace vt {
namespace {

// The console can only name 16-bit registers and 8-bit values.
std::uint32_t RegisterAddress(const std::string& token) {
    return static_cast<std::uint32_t>(ParseHexToken(token) & 0xFFFFu);
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

unsigned long ParseHexToken(const std::string& token) {
    return std::strtoul(token.c_str(), nullptr, 16);
}

std::optional<std::string> RunDebugCommand(std::string& command, const DebugConsolePort& port) {
    command = UpperCase8Bit(command);
    const auto tokens = DebugTokens(command);
    if (tokens.empty()) return std::nullopt;
    const auto& verb = tokens[0];

    if (verb.front() == 'O') {
        if (tokens.size() < 3) return std::nullopt;
        const auto value = static_cast<std::uint8_t>(ParseHexToken(tokens[2]) & 0xFFu);
        // A failed write shows nothing, like a successful one: the console has no output for it.
        if (port.write_register) (void)port.write_register(RegisterAddress(tokens[1]), value);
        return std::nullopt;
    }
    if (verb.front() == 'I') {
        if (tokens.size() < 2) return std::nullopt;
        const auto address = RegisterAddress(tokens[1]);
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
