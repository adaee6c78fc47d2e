// vtutil window: the main window without a display. The same form code as the desktop program
// runs on an in-memory presentation; the actions stand for the user's clicks and keys, in the
// order given, and the window's state is printed as JSON at the end.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/terminal_text.h"
#include "platform/backend.h"
#include "platform/files.h"
#include "report/json_document.h"
#include "vendor/carrier.h"
#include "views/controls.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

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

struct WindowAction {
    std::string word;  // "--special", "--select", ...
    std::string value;
};

struct WindowArguments {
    std::optional<std::string> program_dir;
    std::optional<std::string> command_line;
    HeadlessOptions headless;
    std::vector<WindowAction> actions;
};

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The global options may come among the window's own; they set `global`.
WindowArguments ParseWindowArguments(const std::vector<std::string>& args, GlobalOptions& global) {
    WindowArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i];
        std::optional<std::string> inline_value;
        if (const auto equals = word.find('=');
            word.starts_with("--") && equals != std::string::npos) {
            inline_value = word.substr(equals + 1);
            word.resize(equals);
        }
        const auto value = [&]() -> std::string {
            if (inline_value) return *inline_value;
            if (i + 1 >= args.size()) throw UsageError(word + " needs a value");
            return args[++i];
        };
        if (word == "--json") {
            continue;  // the window's state is always JSON
        } else if (word == "--demo") {
            if (inline_value) throw UsageError(word + " takes no value");
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
            if (inline_value) throw UsageError(word + " takes no value");
            parsed.actions.push_back({word, {}});
        } else if (word == "--select" || word == "--click" || word == "--type" ||
                   word == "--enter" || word == "--check") {
            parsed.actions.push_back({word, value()});
        } else {
            throw UsageError("unknown argument " + args[i]);
        }
    }
    return parsed;
}

int ParseRow(const std::string& text) {
    std::size_t used = 0;
    int row = -1;
    try {
        row = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || row < 0) {
        throw UsageError("--select needs a row number, not " + text);
    }
    return row;
}

const ControlSpec& ControlOfKind(const std::string& name, std::initializer_list<ControlKind> kinds,
                                 const char* what) {
    const auto* spec = FindControl(name);
    bool fits = false;
    if (spec) {
        for (const auto kind : kinds) fits = fits || spec->kind == kind;
    }
    if (!fits) throw UsageError("the window has no " + std::string(what) + " named " + name);
    return *spec;
}

std::pair<std::string, std::string> SplitAssignment(const std::string& word,
                                                    const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos) throw UsageError(word + " needs NAME=VALUE");
    return {text.substr(0, equals), text.substr(equals + 1)};
}

// A command-line argument arrives in UTF-8; the window's texts are 8-bit.
std::string ArgumentText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte == 0xC2 || byte == 0xC3) && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out.push_back(static_cast<char>(((byte & 0x03) << 6) |
                                            (static_cast<unsigned char>(text[i + 1]) & 0x3F)));
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

void RunAction(TMainForm& form, HeadlessPresentation& ui, const WindowAction& action) {
    if (action.word == "--special") {
        RunGuarded(ui, [&] { form.SpecialTipShapeMouseDown(MouseButton::Left, true); });
    } else if (action.word == "--scan") {
        form.Click("ScanBn");
    } else if (action.word == "--select") {
        const int row = ParseRow(action.value);
        if (static_cast<std::size_t>(row) >= ui.Rows("ListView1").size()) {
            throw UsageError("ListView1 has no row " + action.value);
        }
        form.ClickDeviceRow(row);
    } else if (action.word == "--click") {
        ControlOfKind(action.value, {ControlKind::Button}, "button");
        form.Click(action.value);
    } else if (action.word == "--type") {
        const auto [name, text] = SplitAssignment(action.word, action.value);
        ControlOfKind(name, {ControlKind::Edit, ControlKind::LabeledEdit}, "edit box");
        ui.SetText(name, ArgumentText(text));
    } else if (action.word == "--enter") {
        ControlOfKind(action.value, {ControlKind::Edit, ControlKind::LabeledEdit}, "edit box");
        form.EnterKey(action.value);
    } else if (action.word == "--check") {
        const auto [name, state] = SplitAssignment(action.word, action.value);
        ControlOfKind(name, {ControlKind::Check}, "check box");
        if (state != "0" && state != "1") throw UsageError("--check needs NAME=0 or NAME=1");
        form.CheckChanged(name, state == "1");
    }
}

std::string OwnPath() {
    const std::string exe = platform::ProgramPath();
    return exe.empty() ? std::string("vtutil") : exe;
}

// Start-up and the actions; the window's JSON in `json` on success, else why in `failure`.
int RunForm(const WindowArguments& parsed, std::string& json, std::string& failure) {
    HeadlessPresentation ui(parsed.headless);
    FormEnvironment environment;
    environment.program_dir = parsed.program_dir.value_or(platform::ProgramDirectory());
    environment.command_line = parsed.command_line.value_or(OwnPath());
    try {
        TMainForm form(ui, environment);
        RunGuarded(ui, [&] { form.FormShow(); });
        for (const auto& action : parsed.actions) {
            if (ui.CloseRequested()) break;  // a closed window takes no more input
            RunAction(form, ui, action);
        }
    } catch (const UsageError& error) {
        failure = error.what();
        return kExitUsage;
    } catch (const platform::DeviceBusyError& busy) {
        failure = busy.what();
        return kExitDeviceBusy;
    } catch (const std::exception& error) {
        failure = error.what();
        return kExitCommandFailed;
    }
    ProcessStateSnapshot state;
    state.current_device = CurrentDevice;
    state.special_mode = SpecialMode;
    state.raw_dump_enabled = RawDumpEnabled;
    state.debug_file_enabled = DebugFileEnabled;
    state.carrier_mode = CarrierMode;
    json = JsonDump(ui.ToJson(state));
    return kExitOk;
}

// Said on standard error and, when the caller asked for JSON, as the error document.
int WindowFailure(bool json, const std::string& message, int exit_status) {
    std::fprintf(stderr, "vtutil window: %s\n", TerminalText(message).c_str());
    if (json) PrintErrorDocument(message, exit_status);
    return exit_status;
}

int RunWindow(const GlobalOptions& global, const std::vector<std::string>& args) {
    WindowArguments parsed;
    GlobalOptions options = global;
    const bool json_asked =
        global.json || std::find(args.begin(), args.end(), "--json") != args.end();
    try {
        parsed = ParseWindowArguments(args, options);
        if (options.demo && !options.bench_file.empty())
            throw UsageError("--demo and --bench exclude each other");
    } catch (const UsageError& error) {
        return WindowFailure(json_asked, error.what(), kExitUsage);
    }
    if (std::string error; !InstallBackend(options, error))
        return ReportFailure(json_asked, error, kExitUsage);

    std::string json;
    std::string failure;
    int status = kExitOk;
    {
        // Standard output carries the JSON alone; what lower layers print meanwhile goes to stderr.
        const platform::StandardOutputAside aside;
        if (!aside.ok()) {
            std::perror("vtutil window");
            return kExitCommandFailed;
        }
        status = RunForm(parsed, json, failure);
    }
    if (status != kExitOk) return WindowFailure(json_asked, failure, status);
    std::printf("%s\n", json.c_str());
    return status;
}

}  // namespace

void AddWindowCommand(CLI::App& app, const GlobalOptions& options, int& exit_status) {
    auto* window = app.add_subcommand(
        "window", "Run the main window without a display and print its state as JSON");
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
