#include "views/program_options.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

#include "report/version.h"
#include "tools/command_line_words.h"

namespace vt {
namespace {

// Qt's own options, which QApplication takes out of the command line itself.
constexpr std::array<std::string_view, 6> kQtOptionsWithValue = {
    "-platform", "-display", "-style", "-stylesheet", "-qwindowgeometry", "-qwindowtitle"};
constexpr std::array<std::string_view, 2> kQtFlags = {"-reverse", "-widgetcount"};

template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& list, std::string_view word) {
    for (const auto item : list) {
        if (item == word) return true;
    }
    return false;
}

}  // namespace

ProgramOptions ParseProgramOptions(int argc, const char* const* argv) {
    ProgramOptions options;
    std::vector<std::string> kept{argc > 0 ? argv[0] : "vtutility"};
    const auto fail = [&options](std::string error) {
        if (options.action == ProgramOptions::Action::Run) {
            options.action = ProgramOptions::Action::BadCommandLine;
            options.error = std::move(error);
        }
    };
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const bool has_value = i + 1 < argc;
        if (word == "--help" || word == "-h") {
            options.action = ProgramOptions::Action::Usage;
            return options;
        } else if (word == "--version") {
            options.action = ProgramOptions::Action::Version;
            return options;
        } else if (word == "--demo") {
            options.demo = true;
        } else if (word == "--rw-result-file") {
            options.rw_result_files = true;
        } else if (word == "--bench" || word == "--screenshot") {
            if (!has_value) {
                fail(word + " needs a file name");
                continue;
            }
            (word == "--bench" ? options.bench_file : options.screenshot) = argv[++i];
        } else if (OneOf(kQtOptionsWithValue, word) && has_value) {
            ++i;
        } else if (OneOf(kQtFlags, word)) {
        } else if (word.size() > 1 && word[0] == '-') {
            fail("unknown option " + word);
        } else {
            kept.push_back(word);
        }
    }
    if (options.demo && !options.bench_file.empty()) fail("--demo and --bench exclude each other");
    options.command_line = JoinCommandLine(kept);
    return options;
}

std::string UsageText() {
    return "Usage: vtutility [--demo | --bench FILE] [--screenshot FILE] [--rw-result-file]\n"
           "                 [rwtest | dumpssdinfo NAME | dumpssdraw]\n"
           "The desktop service tool for SSDs on Vantrel controllers.\n"
           "\n"
           "Options:\n"
           "  --demo            Use the built-in demo bench instead of the system's disks\n"
           "  --bench FILE      Use the virtual drives of a bench file\n"
           "  --screenshot FILE Save a picture of the window as PNG once it has scanned, and quit\n"
           "  --rw-result-file  Report the self-test with an empty RW_OK.txt or RW_Fail.txt\n"
           "  --version         Print the version and exit\n"
           "  -h, --help        Print this help and exit\n"
           "\n"
           "Command-line words, acted on once a drive has been selected and read:\n"
           "  rwtest            Run the read/write self-test (overwrites user data), then close\n"
           "  dumpssdinfo NAME  Write the drive information to NAME.txt, then close\n"
           "  dumpssdraw        Write raw dump files of the controller data read\n"
           "\n"
           "Exit status: 0 done (also when another copy is already running); 1 bad command line,\n"
           "a refused bench file, a screenshot that could not be saved, or --screenshot or\n"
           "--rw-result-file while another copy runs.\n";
}

std::string VersionText() {
    return std::string("vtutility ") + kToolVersion + "\nJSON format version " +
           std::to_string(kJsonFormatVersion) + " (vtutil --json)\n";
}

int AnswerWithoutWindow(const ProgramOptions& options) {
    switch (options.action) {
        case ProgramOptions::Action::Usage:
            std::fputs(UsageText().c_str(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case ProgramOptions::Action::Version:
            std::fputs(VersionText().c_str(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case ProgramOptions::Action::BadCommandLine:
            std::fprintf(stderr, "vtutility: %s\n%s", options.error.c_str(), UsageText().c_str());
            return 1;
        case ProgramOptions::Action::Run:
            break;
    }
    return 0;
}

int EndAsSecondCopy(const ProgramOptions& options, std::optional<long> holder_pid) {
    std::string who = "another copy of vtutility is already running";
    if (holder_pid) who += " (process " + std::to_string(*holder_pid) + ")";
    const bool result_asked = !options.screenshot.empty() || options.rw_result_files;
    std::fprintf(stderr, "vtutility: %s; this one ends without opening a window%s.\n", who.c_str(),
                 result_asked ? ", so it gives no screenshot or self-test result" : "");
    return result_asked ? 1 : 0;
}

}  // namespace vt
