// vtutil: the headless front end. One subcommand per job.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/terminal_text.h"
#include "platform/backend.h"
#include "report/json_document.h"

namespace {

// The command line's parser with the subcommands `wanted` names.
void BuildCommandLine(CLI::App& app, vt::cli::GlobalOptions& options, int& exit_status,
                      std::function<bool(std::string_view)> wanted) {
    app.require_subcommand(1);
    // The global options may also follow the subcommand: `vtutil list --demo`.
    app.fallthrough();
    app.footer(
        "DEVICE is the number in the Disk column of `vtutil list`, or the drive's path.\n"
        "Exit status: 0 done; 1 bad command line (or rwtest, smart --reset without --yes);\n"
        "2 no such device, or it cannot be opened (missing rights included); 3 a drive command\n"
        "failed; 4 the self-test found a mismatch; 5 a file or I/O error of the tool's own (an\n"
        "input file missing or unreadable, an output that cannot be written, standard output\n"
        "included); 6 the drive is in use by another process; 130 the self-test was\n"
        "interrupted. An unexpected error ends with 3.");
    app.set_version_flag("--version", vt::cli::VersionText(), "Print the version and exit");
    auto* bench =
        app.add_option("--bench", options.bench_file, "Use the virtual drives of a bench file");
    app.add_flag("--demo", options.demo, "Use the built-in demo bench")->excludes(bench);
    app.add_flag("--json", options.json, "One JSON document (every subcommand)");
    vt::cli::Subcommands commands(app, std::move(wanted));
    vt::cli::AddListCommand(commands, options, exit_status);
    vt::cli::AddWindowCommand(commands, options, exit_status);
    vt::cli::AddProbeCommand(commands, options, exit_status);
    vt::cli::AddPageCommands(commands, options, exit_status);
    vt::cli::AddRwTestCommand(commands, options, exit_status);
    vt::cli::AddCaptureCommand(commands, options, exit_status);
    vt::cli::AddMetricsCommand(commands, options, exit_status);
}

constexpr const char* kAbout =
    "vtutil: service tool for SSDs on Vantrel controllers (headless front end)";

int RunCommandLine(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    const std::vector<std::string> with_value{"--bench"};
    const bool json = vt::cli::JsonAsked(words);
    const auto leading = vt::cli::SplitAtSubcommand(words, with_value);
    const auto& chosen = leading.subcommand;
    // A global --version needs no parser: it is the one answer whatever else the line holds.
    if (std::find(leading.options.begin(), leading.options.end(), "--version") !=
        leading.options.end()) {
        std::printf("%s\n", vt::cli::VersionText().c_str());
        return vt::cli::FinishStandardOutput(vt::cli::kExitOk);
    }
    // The subcommand named is the one built; with none named, all of them for the help, and none
    // otherwise (the missing subcommand CLI11 says).
    const bool help = vt::cli::HelpAsked(words);
    CLI::App app{kAbout};
    vt::cli::GlobalOptions options;
    int exit_status = vt::cli::kExitOk;
    BuildCommandLine(app, options, exit_status,
                     [&](std::string_view name) { return chosen ? *chosen == name : help; });
    if (chosen && app.get_subcommands({}).empty()) {
        // No subcommand has that name: the full set tells the closest one.
        CLI::App every{kAbout};
        vt::cli::GlobalOptions unused_options;
        int unused_status = 0;
        BuildCommandLine(every, unused_options, unused_status,
                         [](std::string_view) { return true; });
        std::vector<std::string> subcommands;
        for (const auto* command : every.get_subcommands({}))
            subcommands.push_back(command->get_name());
        const auto closest = vt::cli::ClosestName(*chosen, subcommands);
        const std::string message = "unknown subcommand " + *chosen +
                                    (closest.empty() ? "" : " (did you mean " + closest + "?)");
        std::fprintf(stderr, "vtutil: %s\nRun `vtutil --help` for the list.\n",
                     vt::cli::TerminalText(message).c_str());
        if (json) vt::cli::PrintErrorDocument(message, vt::cli::kExitUsage);
        return vt::cli::FinishStandardOutput(vt::cli::kExitUsage);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help and --version end here too, with their text and status 0.
        if (app.exit(error) == 0) return vt::cli::FinishStandardOutput(vt::cli::kExitOk);
        if (json) vt::cli::PrintErrorDocument(error.what(), vt::cli::kExitUsage);
        return vt::cli::FinishStandardOutput(vt::cli::kExitUsage);
    }
    return vt::cli::FinishStandardOutput(exit_status);
}

}  // namespace

int main(int argc, char** argv) {
    // Last resort: nothing may end the program without a message, a status and, for --json, the
    // error document.
    bool json = false;
    try {
        json = vt::cli::JsonAsked(std::vector<std::string>(argv + 1, argv + argc));
        return RunCommandLine(argc, argv);
    } catch (const vt::platform::DeviceBusyError& busy) {
        return vt::cli::ReportFailure(json, busy.what(), vt::cli::kExitDeviceBusy);
    } catch (const std::exception& failure) {
        return vt::cli::ReportFailure(json, failure.what(), vt::cli::kExitCommandFailed);
    } catch (...) {
        return vt::cli::ReportFailure(json, "unexpected error", vt::cli::kExitCommandFailed);
    }
}
