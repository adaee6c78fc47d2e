#include "views/window_state.h"

#include <stdexcept>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "vendor/carrier.h"
#include "views/controls.h"
#include "views/headless_presentation.h"

namespace vt {
namespace {

using K = ControlKind;

nlohmann::ordered_json LinesJson(const std::vector<std::string>& lines) {
    auto out = nlohmann::ordered_json::array();
    for (const auto& line : lines) out.push_back(Latin1ToUtf8(line));
    return out;
}

nlohmann::ordered_json RowsJson(const std::vector<TextRow>& rows) {
    auto out = nlohmann::ordered_json::array();
    for (const auto& row : rows) out.push_back(LinesJson(row));
    return out;
}

}  // namespace

ProcessStateSnapshot CurrentProcessState() {
    ProcessStateSnapshot state;
    state.current_device = CurrentDevice;
    state.special_mode = SpecialMode;
    state.raw_dump_enabled = RawDumpEnabled;
    state.debug_file_enabled = DebugFileEnabled;
    state.carrier_mode = CarrierMode;
    return state;
}

nlohmann::ordered_json WindowStateJson(const WindowState& state) {
    nlohmann::ordered_json out;
    out["title"] = Latin1ToUtf8(state.title);
    auto controls = nlohmann::ordered_json::object();
    auto pages = nlohmann::ordered_json::array();
    for (const auto& spec : MainFormControls()) {
        const auto found = state.controls.find(spec.name);
        if (found == state.controls.end()) {
            throw std::invalid_argument("no state read for " + std::string(spec.name));
        }
        const auto& control = found->second;
        if (spec.kind == K::Page) {
            pages.push_back({{"name", std::string(spec.name)},
                             {"caption", Latin1ToUtf8(control.caption)},
                             {"tab_visible", control.visible}});
            continue;
        }
        if (spec.kind == K::PageControl) continue;
        nlohmann::ordered_json entry{{"kind", std::string(KindWord(spec.kind))},
                                     {"visible", control.visible},
                                     {"enabled", control.enabled}};
        switch (spec.kind) {
            case K::Edit:
            case K::LabeledEdit:
                entry["text"] = Latin1ToUtf8(control.text);
                break;
            case K::Memo:
            case K::Combo:
                entry["lines"] = LinesJson(control.lines);
                break;
            case K::Grid:
                entry["cells"] = RowsJson(control.rows);
                break;
            case K::List:
                entry["rows"] = RowsJson(control.rows);
                break;
            case K::Button:
            case K::Group:
            case K::Label:
                entry["caption"] = Latin1ToUtf8(control.caption);
                break;
            case K::Check:
                entry["caption"] = Latin1ToUtf8(control.caption);
                entry["checked"] = control.checked;
                break;
            default:
                break;
        }
        controls[std::string(spec.name)] = std::move(entry);
    }
    out["controls"] = std::move(controls);
    out["pages"] = std::move(pages);
    out["active_page"] = state.active_page;
    out["messages"] = LinesJson(state.messages);
    out["close_requested"] = state.close_requested;
    out["state"] = {{"CurrentDevice", state.process.current_device},
                    {"SpecialMode", state.process.special_mode},
                    {"RawDumpEnabled", state.process.raw_dump_enabled},
                    {"DebugFileEnabled", state.process.debug_file_enabled},
                    {"CarrierMode", state.process.carrier_mode}};
    return out;
}

}  // namespace vt
