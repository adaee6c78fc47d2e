#pragma once
// The window's state as a front reads it back from its controls, and the one JSON shape every
// front prints it in (`vtutil window`, the Windows window's --dump), so the fronts can be compared
// document for document.

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "views/presentation.h"

namespace vt {

// The process-wide state reported beside the controls.
struct ProcessStateSnapshot {
    int current_device = 0;
    bool special_mode = false;
    bool raw_dump_enabled = false;
    bool debug_file_enabled = false;
    int carrier_mode = 0;
};
// The state of the process now.
ProcessStateSnapshot CurrentProcessState();

// One control; only the members of its kind count (text: edits; lines: memos and combos; rows:
// grid cells or list items; caption: buttons, groups, labels, check boxes, pages).
struct ControlState {
    std::string text;
    std::vector<std::string> lines;
    std::vector<TextRow> rows;
    std::string caption;
    bool visible = true;  // a page: its tab is shown
    bool enabled = true;
    bool checked = false;
};

struct WindowState {
    std::string title;
    std::map<std::string, ControlState, std::less<>> controls;  // every control of the table
    std::string active_page;
    std::vector<std::string> messages;
    bool close_requested = false;
    ProcessStateSnapshot process;
};

// The document, controls in the table's order. A control missing from `state` is a fault of the
// front that read it: std::invalid_argument.
nlohmann::ordered_json WindowStateJson(const WindowState& state);

}  // namespace vt
