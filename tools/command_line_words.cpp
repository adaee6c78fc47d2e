#include "tools/command_line_words.h"

namespace vt {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

CommandLineWords FindCommandLineWords(std::string_view command_line) {
    CommandLineWords words;
    words.rwtest = command_line.find(kRwTestWord) != std::string_view::npos;
    words.dumpssdinfo = command_line.find(kDumpSsdInfoWord) != std::string_view::npos;
    words.dumpssdraw = command_line.find(kDumpSsdRawWord) != std::string_view::npos;
    return words;
}

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
    std::vector<std::string> arguments;
    std::string current;
    bool in_argument = false;
    bool quoted = false;
    for (const char c : command_line) {
        if (c == '"') {
            quoted = !quoted;
            in_argument = true;  // "" is an argument of its own, an empty one
        } else if (IsBlank(c) && !quoted) {
            if (in_argument) arguments.push_back(std::move(current));
            current.clear();
            in_argument = false;
        } else {
            current.push_back(c);
            in_argument = true;
        }
    }
    if (in_argument) arguments.push_back(std::move(current));
    return arguments;
}

std::string CommandLineArgument(std::string_view command_line, std::size_t index) {
    auto arguments = SplitCommandLine(command_line);
    return index < arguments.size() ? std::move(arguments[index]) : std::string{};
}

std::string JoinCommandLine(std::span<const std::string> arguments) {
    std::string line;
    for (const auto& argument : arguments) {
        if (!line.empty()) line.push_back(' ');
        const bool needs_quotes =
            argument.empty() || argument.find_first_of(" \t") != std::string::npos;
        if (needs_quotes) line.push_back('"');
        line += argument;
        if (needs_quotes) line.push_back('"');
    }
    return line;
}

}  // namespace vt
