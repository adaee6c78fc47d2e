#pragma once
// The register console: one typed line becomes a register write, a register read or an LBA
// translation request. Commands, register numbers and values are case-insensitive.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

struct LbaLocation {
    unsigned channel = 0;
    unsigned bank = 0;
    unsigned block = 0;
};

// The drive side of the console. An empty `translate_lba` means the drive offers no translation.
struct DebugConsolePort {
    std::function<bool(std::uint32_t address, std::uint8_t& value)> read_register;
    std::function<bool(std::uint32_t address, std::uint8_t value)> write_register;
    std::function<std::optional<LbaLocation>(std::string_view lba)> translate_lba;
};

// ASCII letters only: no other byte can take part in a command.
std::string UpperCase8Bit(std::string_view text);
// Tokens between runs of the blank character; a tab is part of a token.
std::vector<std::string> DebugTokens(std::string_view command);
// A hexadecimal operand: digits, "0X" in front allowed, nothing else (case-insensitive); nullopt
// for anything else, which the console refuses rather than read as 0. Only the low 32 bits of a
// longer number are kept.
std::optional<std::uint32_t> ParseHexToken(const std::string& token);

// Upper-cases `command` in place and runs it. Returns the text the command adds to the transcript
// (its line feed included), nothing for a write, an unknown command or a missing operand; an
// operand that is not hexadecimal is refused with a line saying so, and nothing is sent.
std::optional<std::string> RunDebugCommand(std::string& command, const DebugConsolePort& port);

}  // namespace vt
