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

// The first word that stands where the subcommand goes and names none of `subcommands`; the words
// in `options_with_value` take the next word as their value. Nullopt when every word fits (or
// there is no subcommand word at all: CLI11 says that one).
std::optional<std::string> UnknownSubcommand(std::span<const std::string> words,
                                             std::span<const std::string> subcommands,
                                             std::span<const std::string> options_with_value);

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
