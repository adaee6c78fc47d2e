#include "cli/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/global_options.h"
#include "report/version.h"

namespace vt::cli {
namespace {

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string ClosestName(std::string_view word, std::span<const std::string> names) {
    std::string best;
    std::size_t best_distance = 0;
    for (const auto& name : names) {
        const std::size_t distance = EditDistance(word, name);
        if (best.empty() || distance < best_distance) {
            best = name;
            best_distance = distance;
        }
    }
    // A third of the word may be wrong, and at least two letters: "infoo", "smrt", "probe1".
    const std::size_t limit = std::max<std::size_t>(2, word.size() / 3);
    return best_distance <= limit ? best : std::string();
}

LeadingWords SplitAtSubcommand(std::span<const std::string> words,
                               std::span<const std::string> options_with_value) {
    LeadingWords split;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") break;
        if (!word.starts_with("-")) {
            split.subcommand = word;
            break;
        }
        split.options.push_back(word);
        const bool takes_value = word.find('=') == std::string::npos &&
                                 std::find(options_with_value.begin(), options_with_value.end(),
                                           word) != options_with_value.end();
        if (takes_value && i + 1 < words.size()) split.options.push_back(words[++i]);
    }
    return split;
}

bool HelpAsked(std::span<const std::string> words) {
    const auto end = std::find(words.begin(), words.end(), "--");
    return std::any_of(words.begin(), end,
                       [](const std::string& word) { return word == "-h" || word == "--help"; });
}

bool JsonAsked(std::span<const std::string> words) {
    const auto end = std::find(words.begin(), words.end(), "--");
    return std::find(words.begin(), end, "--json") != end;
}

std::string VersionText() {
    return std::string("vtutil ") + kToolVersion + "\nJSON format version " +
           std::to_string(kJsonFormatVersion);
}

int FinishStandardOutput(int exit_status) {
    errno = 0;
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    if (!failed) return exit_status;
    const int error = errno;
    std::fprintf(stderr, "vtutil: cannot write standard output: %s\n",
                 error != 0 ? std::strerror(error) : "write error");
    return exit_status == kExitOk ? kExitFileError : exit_status;
}

}  // namespace vt::cli
