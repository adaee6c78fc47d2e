#include "views/window_script.h"

#include <optional>

#include "views/controls.h"

namespace vt {
namespace {

std::vector<std::string> SplitWords(std::string_view text) {
    std::vector<std::string> words;
    std::optional<std::string> word;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            if (!word) word.emplace();
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (word) words.push_back(std::move(*word));
            word.reset();
        } else {
            if (!word) word.emplace();
            word->push_back(c);
        }
    }
    if (quoted) throw ScriptError("the actions end inside a quoted word");
    if (word) words.push_back(std::move(*word));
    return words;
}

const ControlSpec& ControlOfKind(const std::string& name, std::initializer_list<ControlKind> kinds,
                                 const char* what) {
    const auto* spec = FindControl(name);
    bool fits = false;
    if (spec) {
        for (const auto kind : kinds) fits = fits || spec->kind == kind;
    }
    if (!fits) throw ScriptError("the window has no " + std::string(what) + " named " + name);
    return *spec;
}

std::pair<std::string, std::string> SplitAssignment(const ScriptAction& action) {
    const auto equals = action.value.find('=');
    if (equals == std::string::npos) throw ScriptError(action.word + " needs NAME=VALUE");
    return {action.value.substr(0, equals), action.value.substr(equals + 1)};
}

int ParseRow(const std::string& text) {
    int row = 0;
    if (text.empty() || text.size() > 6) throw ScriptError("--select needs a row number");
    for (const char c : text) {
        if (c < '0' || c > '9') throw ScriptError("--select needs a row number, not " + text);
        row = row * 10 + (c - '0');
    }
    return row;
}

}  // namespace

WindowScript ParseWindowScript(std::string_view text) {
    WindowScript script;
    const auto words = SplitWords(text);
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string word = words[i];
        std::optional<std::string> inline_value;
        if (const auto equals = word.find('=');
            word.starts_with("--") && equals != std::string::npos) {
            inline_value = word.substr(equals + 1);
            word.resize(equals);
        }
        const auto value = [&]() -> std::string {
            if (inline_value) return *inline_value;
            if (i + 1 >= words.size()) throw ScriptError(word + " needs a value");
            return words[++i];
        };
        if (word == "--special" || word == "--scan") {
            if (inline_value) throw ScriptError(word + " takes no value");
            script.actions.push_back({word, {}});
        } else if (word == "--select" || word == "--click" || word == "--type" ||
                   word == "--enter" || word == "--check") {
            script.actions.push_back({word, value()});
        } else if (word == "--save-dir") {
            script.save_dir = value();
        } else if (word == "--open") {
            script.open_file = value();
        } else {
            throw ScriptError("unknown action " + words[i]);
        }
    }
    return script;
}

void RunScriptAction(TMainForm& form, const ScriptAction& action) {
    auto& ui = form.ui();
    if (action.word == "--special") {
        RunGuarded(ui, [&] { form.SpecialTipShapeMouseDown(MouseButton::Left, true); });
    } else if (action.word == "--scan") {
        form.Click("ScanBn");
    } else if (action.word == "--select") {
        const int row = ParseRow(action.value);
        if (static_cast<std::size_t>(row) >= ui.Rows("ListView1").size()) {
            throw ScriptError("ListView1 has no row " + action.value);
        }
        form.ClickDeviceRow(row);
    } else if (action.word == "--click") {
        ControlOfKind(action.value, {ControlKind::Button}, "button");
        form.Click(action.value);
    } else if (action.word == "--type") {
        const auto [name, text] = SplitAssignment(action);
        ControlOfKind(name, {ControlKind::Edit, ControlKind::LabeledEdit}, "edit box");
        ui.SetText(name, Latin1FromUtf8Argument(text));
    } else if (action.word == "--enter") {
        ControlOfKind(action.value, {ControlKind::Edit, ControlKind::LabeledEdit}, "edit box");
        form.EnterKey(action.value);
    } else if (action.word == "--check") {
        const auto [name, state] = SplitAssignment(action);
        ControlOfKind(name, {ControlKind::Check}, "check box");
        if (state != "0" && state != "1") throw ScriptError("--check needs NAME=0 or NAME=1");
        form.CheckChanged(name, state == "1");
    } else {
        throw ScriptError("unknown action " + action.word);
    }
}

std::string Latin1FromUtf8Argument(const std::string& text) {
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

}  // namespace vt
