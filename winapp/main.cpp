// vtutility.exe: the desktop program on Windows.

// Before <windows.h>, whose macro ReplaceFile would rename the platform layer's call.
#include "platform/files.h"
// (then <windows.h> takes the name for its own)
#include <windows.h>
#undef ReplaceFile

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "platform/named_objects.h"
#include "platform/wide_text.h"
#include "views/backend_choice.h"
#include "views/painting_backend.h"
#include "views/program_options.h"
#include "views/window_script.h"
#include "views/window_state.h"
#include "winapp/desktop.h"

namespace {

// The test hook's own options, taken out before the program's options are read.
struct HookOptions {
    std::optional<std::string> script;  // the actions, as `vtutil window` takes them
    std::string dump;                   // write the window's state here and close
    std::string error;
};

HookOptions TakeHookOptions(int argc, char** argv, std::vector<const char*>& rest) {
    HookOptions hook;
    rest.push_back(argc > 0 ? argv[0] : "vtutility");
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--script" || word == "--dump") {
            if (i + 1 >= argc) {
                hook.error = word + " needs a value";
                continue;
            }
            (word == "--script" ? hook.script.emplace() : hook.dump) = argv[++i];
        } else {
            rest.push_back(argv[i]);
        }
    }
    return hook;
}

// A program of the window subsystem has no console of its own: it writes to the one it was
// started from, or, started from the desktop, says it in a box.
void Say(const std::string& text, bool error) {
    const DWORD which = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    HANDLE out = GetStdHandle(which);
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = GetStdHandle(which);
    }
    if (out != nullptr && out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const auto wide = vt::platform::Utf16FromUtf8(text).value_or(u"vtutility");
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(wide.c_str()), L"vtutility",
                MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

int Refuse(const std::string& message) {
    Say("vtutility: " + message + "\n" + vt::UsageText() +
            "  --script ACTIONS  Run the actions of `vtutil window` on the window once it has "
            "started\n  --dump FILE       Then write the window's state as JSON to FILE and "
            "close\n",
        true);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<const char*> rest;
    const HookOptions hook = TakeHookOptions(argc, argv, rest);
    const vt::ProgramOptions options =
        vt::ParseProgramOptions(static_cast<int>(rest.size()), rest.data());
    if (options.action == vt::ProgramOptions::Action::BadCommandLine) {
        return Refuse(options.error);
    }
    if (options.action == vt::ProgramOptions::Action::Usage) {
        Say(vt::UsageText(), false);
        return 0;
    }
    if (options.action == vt::ProgramOptions::Action::Version) {
        Say(vt::VersionText(), false);
        return 0;
    }
    if (!hook.error.empty()) return Refuse(hook.error);
    if (!options.screenshot.empty()) {
        return Refuse("--screenshot is not available on Windows (use --script and --dump)");
    }
    vt::WindowScript script;
    try {
        if (hook.script) script = vt::ParseWindowScript(*hook.script);
    } catch (const vt::ScriptError& error) {
        return Refuse(error.what());
    }
    const bool scripted = hook.script.has_value() || !hook.dump.empty();

    // A second copy must not touch any drive the first is working on.
    const vt::platform::InstanceGuard guard("VTUtil");
    if (guard.state() == vt::platform::InstanceGuard::State::AlreadyExists) {
        const int status = vt::EndAsSecondCopy(options, guard.HolderPid());
        return scripted ? 1 : status;
    }
    if (guard.state() == vt::platform::InstanceGuard::State::Failed) {
        Say("vtutility: " + guard.error() + "\n", true);
    }

    std::string error;
    if (!vt::InstallChosenBackend(options.bench_file, options.demo, error)) {
        Say("vtutility: " + error + "\n", true);
        if (!scripted) MessageBoxA(nullptr, error.c_str(), "vtutility", MB_OK | MB_ICONERROR);
        return 1;
    }

    int status = 0;
    try {
        vt::FormEnvironment environment{vt::platform::ProgramDirectory(), options.command_line, {}};
        environment.rw_result_files = options.rw_result_files;
        vt::win::Desktop desktop(GetModuleHandleW(nullptr), std::move(environment));
        vt::PaintBetweenCommands([&desktop] { desktop.ui.ProcessPaintEvents(); });
        if (scripted) {
            // Boxes are answered at once and dialogs from the script, as in `vtutil window`.
            desktop.ui.SetHooks(
                {[](const std::string&) {},
                 [&script](const vt::FileDialogRequest& request) -> std::optional<std::string> {
                     if (script.save_dir.empty()) return std::nullopt;
                     return script.save_dir + "/" + request.file_name + "." + request.default_ext;
                 },
                 [&script](const vt::FileDialogRequest&) -> std::optional<std::string> {
                     if (script.open_file.empty()) return std::nullopt;
                     return script.open_file;
                 }});
        }
        desktop.Start([&] {
            if (!scripted) return;
            try {
                for (const auto& action : script.actions) {
                    if (desktop.ui.CloseRequested()) break;  // a closed window takes no input
                    vt::RunScriptAction(desktop.form, action);
                }
            } catch (const vt::ScriptError& failure) {
                Say(std::string("vtutility: ") + failure.what() + "\n", true);
                status = 1;
                DestroyWindow(desktop.window.hwnd());
                return;
            }
            if (hook.dump.empty()) return;
            const std::string json = vt::WindowStateJson(desktop.ui.ReadBack()).dump(2) + "\n";
            std::string write_error;
            if (!vt::platform::ReplaceFile(
                    hook.dump, {reinterpret_cast<const std::uint8_t*>(json.data()), json.size()},
                    write_error)) {
                Say("vtutility: " + write_error + "\n", true);
                status = 1;
            }
            if (!desktop.ui.CloseRequested()) DestroyWindow(desktop.window.hwnd());
        });
        vt::win::RunMessageLoop(desktop.window.hwnd());
    } catch (const std::exception& failure) {
        Say(std::string("vtutility: ") + failure.what() + "\n", true);
        MessageBoxA(nullptr, failure.what(), "vtutility", MB_OK | MB_ICONERROR);
        return 1;
    }
    return status;
}
