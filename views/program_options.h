#pragma once
// The desktop program's command line: its own options, its usage and version texts, and the words
// it keeps as the command line the form looks at. No toolkit here: these are answered before any
// window exists.

#include <optional>
#include <string>

namespace vt {

struct ProgramOptions {
    enum class Action { Run, Usage, Version, BadCommandLine };
    Action action = Action::Run;
    bool demo = false;
    std::string bench_file;
    std::string screenshot;  // grab the window after start-up, save it as PNG and quit
    // The self-test answers with an empty RW_OK.txt or RW_Fail.txt instead of a message box.
    bool rw_result_files = false;
    // What is left, with the program's path first: the command line of the command-line words.
    std::string command_line;
    std::string error;  // for BadCommandLine
};

ProgramOptions ParseProgramOptions(int argc, const char* const* argv);

std::string UsageText();
std::string VersionText();

// Prints the usage, the version or the error; the process's exit status.
int AnswerWithoutWindow(const ProgramOptions& options);

// Another copy holds the single-instance guard: says so on standard error. The exit status is 0,
// as the single-instance rule has it, unless this run was asked for a result file it cannot give.
int EndAsSecondCopy(const ProgramOptions& options, std::optional<long> holder_pid);

}  // namespace vt
