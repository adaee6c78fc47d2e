#pragma once
// What vtutil checks on its command line before CLI11 reads it, and how its output ends.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vt::cli {

// The name of `names` closest to `word` by edit distance, when it is close enough to be a typo;
// empty otherwise.
std::string ClosestName(std::string_view word, std::span<const std::string> names);

// A command line split where the subcommand goes: the global options before it and its name.
struct LeadingWords {
    std::vector<std::string> options;
    std::optional<std::string> subcommand;  // nullopt when there is none (a "--" ends the search)
};
// The words in `options_with_value` take the next word as their value.
LeadingWords SplitAtSubcommand(std::span<const std::string> words,
                               std::span<const std::string> options_with_value);

// Whether the words ask for the help (-h or --help before a "--").
bool HelpAsked(std::span<const std::string> words);

// Whether the words ask for JSON (--json anywhere before a "--"), so that a command line refused
// before or while it is read still gets its error document.
bool JsonAsked(std::span<const std::string> words);

// "vtutil 0.1.0" and the JSON format version, for --version.
std::string VersionText();

// Flushes standard output. A write error (a full disk, a closed pipe) is said on standard error
// and turns a successful status into kExitFileError: a script must not take a truncated output for
// a whole one.
int FinishStandardOutput(int exit_status);

}  // namespace vt::cli
