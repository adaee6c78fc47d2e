#pragma once
// The user's clicks and keys as words, for driving a real window from a test: the action words of
// `vtutil window` (--select ROW, --click NAME, --type NAME=TEXT, --enter NAME, --check NAME=0|1,
// --special, --scan) and the dialogs' answers (--save-dir DIR, --open FILE).

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "views/main_form.h"

namespace vt {

struct ScriptAction {
    std::string word;  // "--select", "--click", ...
    std::string value;
};

struct WindowScript {
    std::vector<ScriptAction> actions;
    std::string save_dir;   // empty: every save dialog is cancelled
    std::string open_file;  // empty: every open dialog is cancelled
};

class ScriptError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Words are separated by blanks; a double-quoted stretch keeps its blanks ("--type DebugEdit=i 1").
// A word may carry its value after '=' (--select=1). ScriptError for an unknown word, a missing
// value or an unclosed quote.
WindowScript ParseWindowScript(std::string_view text);

// Acts as the user would. ScriptError for a name the window has no control of that kind for, or
// a row the device list does not have.
void RunScriptAction(TMainForm& form, const ScriptAction& action);

// A command-line argument arrives in UTF-8; the window's texts are 8-bit (Latin-1).
std::string Latin1FromUtf8Argument(const std::string& text);

}  // namespace vt
