#pragma once
// The command-line mode's view of the process command line: one 8-bit string, searched for the
// option words as plain substrings, and split into arguments for the dump name.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

inline constexpr std::string_view kRwTestWord = "rwtest";
inline constexpr std::string_view kDumpSsdInfoWord = "dumpssdinfo";
inline constexpr std::string_view kDumpSsdRawWord = "dumpssdraw";

struct CommandLineWords {
    bool rwtest = false;
    bool dumpssdinfo = false;
    bool dumpssdraw = false;
};

// Case-sensitive substring search over the whole line, the program's path included: a longer word
// that contains an option word counts.
CommandLineWords FindCommandLineWords(std::string_view command_line);

// Arguments separated by runs of blanks (space or tab); a stretch in double quotes keeps its
// blanks and loses its quotes.
std::vector<std::string> SplitCommandLine(std::string_view command_line);
// Argument `index` (0: the program), empty when the line has fewer.
std::string CommandLineArgument(std::string_view command_line, std::size_t index);

// The one-string command line rebuilt from the arguments Linux hands over, joined by blanks; an
// argument with a blank, or an empty one, goes in double quotes so that splitting gives it back.
std::string JoinCommandLine(std::span<const std::string> arguments);

}  // namespace vt
