// vtutil window: the main window without a display. The same form code as the desktop program
// runs on an in-memory presentation; the actions stand for the user's clicks and keys, in the
// order given, and the window's state is printed as JSON at the end.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/terminal_text.h"
#include "platform/backend.h"
#include "platform/files.h"
#include "report/json_document.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"
#include "views/window_script.h"
#include "views/window_state.h"

namespace vt::cli {
namespace {

constexpr const char* kWindowOptionsHelp =
    "Options (the actions run in the order given, after the window's start-up):\n"
    "  --program-dir DIR  The program's directory: its settings file, code image and dumps\n"
    "                     (default: the directory of vtutil)\n"
    "  --cmdline TEXT     The process command line the command-line words are looked for in\n"
    "                     (default: vtutil's own path)\n"
    "  --save-dir DIR     Where the save dialogs write; without it every save is cancelled\n"
    "  --open FILE        The file the open dialog answers with (decode log)\n"
    "  --select ROW       Click row ROW of the device list (0 is the first)\n"
    "  --click NAME       Click the button NAME\n"
    "  --type NAME=TEXT   Put TEXT into the edit box NAME\n"
    "  --enter NAME       Press Enter in the edit box NAME\n"
    "  --check NAME=0|1   Clear or set the check box NAME\n"
    "  --special          The special mode gesture (Ctrl and a left click on the SSD Info shape)\n"
    "  --scan             Click Scan\n"
    "  --json             Accepted; the window's state is always printed as JSON\n"
    "  --demo, --bench FILE  The global options, here too\n";

struct WindowArguments {
    std::optional<std::string> program_dir;
    std::optional<std::string> command_line;
    HeadlessOptions headless;
    std::vector<ScriptAction> actions;
    std::string problem;  // why the arguments were refused; empty when they were not
};

// The global options may come among the window's own; they set `global`.
WindowArguments ParseWindowArguments(const std::vector<std::string>& args, GlobalOptions& global) {
    WindowArguments parsed;
    const auto refuse = [&parsed](std::string problem) {
        parsed.problem = std::move(problem);
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i];
        std::optional<std::string> inline_value;
        if (const auto equals = word.find('=');
            word.starts_with("--") && equals != std::string::npos) {
            inline_value = word.substr(equals + 1);
            word.resize(equals);
        }
        const bool has_value = inline_value || i + 1 < args.size();
        const auto value = [&]() -> std::string {
            return inline_value ? *inline_value : args[++i];
        };
        const bool takes_value = word == "--bench" || word == "--program-dir" ||
                                 word == "--cmdline" || word == "--save-dir" || word == "--open" ||
                                 word == "--select" || word == "--click" || word == "--type" ||
                                 word == "--enter" || word == "--check";
        if (takes_value && !has_value) return refuse(word + " needs a value");
        if (word == "--json") {
            continue;  // the window's state is always JSON
        } else if (word == "--demo") {
            if (inline_value) return refuse(word + " takes no value");
            global.demo = true;
        } else if (word == "--bench") {
            global.bench_file = value();
        } else if (word == "--program-dir") {
            parsed.program_dir = value();
        } else if (word == "--cmdline") {
            parsed.command_line = value();
        } else if (word == "--save-dir") {
            parsed.headless.save_dir = value();
        } else if (word == "--open") {
            parsed.headless.open_file = value();
        } else if (word == "--special" || word == "--scan") {
            if (inline_value) return refuse(word + " takes no value");
            parsed.actions.push_back({word, {}});
        } else if (word == "--select" || word == "--click" || word == "--type" ||
                   word == "--enter" || word == "--check") {
            parsed.actions.push_back({word, value()});
        } else {
            return refuse("unknown argument " + args[i]);
        }
    }
    if (global.demo && !global.bench_file.empty())
        return refuse("--demo and --bench exclude each other");
    return parsed;
}

std::string OwnPath() {
    const std::string exe = platform::ProgramPath();
    return exe.empty() ? std::string("vtutil") : exe;
}

// How the window's run ended: its state as JSON, or why it failed and the exit status.
struct FormRun {
    int exit_status = kExitOk;
    std::string json;
    std::string failure;
};

// Start-up and the actions.
FormRun RunForm(const WindowArguments& parsed) {
    HeadlessPresentation ui(parsed.headless);
    FormEnvironment environment;
    environment.program_dir = parsed.program_dir.value_or(platform::ProgramDirectory());
    environment.command_line = parsed.command_line.value_or(OwnPath());
    try {
        TMainForm form(ui, environment);
        RunGuarded(ui, [&] { form.FormShow(); });
        for (const auto& action : parsed.actions) {
            if (ui.CloseRequested()) break;  // a closed window takes no more input
            RunScriptAction(form, action);
        }
    } catch (const ScriptError& error) {
        return {kExitUsage, {}, error.what()};
    } catch (const platform::DeviceBusyError& busy) {
        return {kExitDeviceBusy, {}, busy.what()};
    } catch (const std::exception& error) {
        return {kExitCommandFailed, {}, error.what()};
    }
    return {kExitOk, JsonDump(ui.ToJson(CurrentProcessState())), {}};
}

// Said on standard error and, when the caller asked for JSON, as the error document.
int WindowFailure(bool json, const std::string& message, int exit_status) {
    std::fprintf(stderr, "vtutil window: %s\n", TerminalText(message).c_str());
    if (json) PrintErrorDocument(message, exit_status);
    return exit_status;
}

int RunWindow(const GlobalOptions& global, const std::vector<std::string>& args) {
    GlobalOptions options = global;
    const bool json_asked =
        global.json || std::find(args.begin(), args.end(), "--json") != args.end();
    const WindowArguments parsed = ParseWindowArguments(args, options);
    if (!parsed.problem.empty()) return WindowFailure(json_asked, parsed.problem, kExitUsage);
    if (std::string error; !InstallBackend(options, error))
        return ReportFailure(json_asked, error, kExitUsage);

    FormRun run;
    {
        // Standard output carries the JSON alone; what lower layers print meanwhile goes to stderr.
        const platform::StandardOutputAside aside;
        if (!aside.ok()) {
            std::perror("vtutil window");
            return kExitCommandFailed;
        }
        run = RunForm(parsed);
    }
    if (run.exit_status != kExitOk) return WindowFailure(json_asked, run.failure, run.exit_status);
    std::printf("%s\n", run.json.c_str());
    return kExitOk;
}

}  // namespace

void AddWindowCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status) {
    auto* window =
        commands.Add("window", "Run the main window without a display and print its state as JSON");
    if (!window) return;
    // The actions keep their order, so the arguments are read here rather than by CLI11, which
    // shows them in the help through this footer.
    window->prefix_command();
    window->fallthrough(false);  // its global options are read with its own
    window->footer(kWindowOptionsHelp);
    window->callback([window, &options, &exit_status] {
        const auto args = window->remaining();
        for (const auto& arg : args) {
            if (arg == "--help" || arg == "-h") {
                std::printf("%s", window->help().c_str());
                return;
            }
            if (arg == "--") break;
        }
        exit_status = RunWindow(options, args);
    });
}

}  // namespace vt::cli
