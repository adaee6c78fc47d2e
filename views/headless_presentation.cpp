#include "views/headless_presentation.h"

#include <stdexcept>

namespace vt {
namespace {

using K = ControlKind;

std::string KindList(std::initializer_list<ControlKind> kinds) {
    std::string words;
    for (const auto kind : kinds) {
        if (!words.empty()) words += "/";
        words += KindWord(kind);
    }
    return words;
}

}  // namespace

HeadlessPresentation::HeadlessPresentation(HeadlessOptions options)
    : options_(std::move(options)), active_page_("TabSheet1") {
    for (const auto& spec : MainFormControls()) {
        Control control;
        control.spec = &spec;
        control.text = std::string(spec.text);
        control.caption = std::string(spec.caption);
        control.visible = spec.visible;
        control.enabled = spec.enabled;
        if (spec.kind == K::Grid) {
            control.cells.assign(static_cast<std::size_t>(spec.grid_rows),
                                 TextRow(spec.columns.size()));
        }
        controls_.emplace(std::string(spec.name), std::move(control));
    }
}

HeadlessPresentation::Control& HeadlessPresentation::Get(std::string_view name,
                                                         std::initializer_list<ControlKind> kinds) {
    return const_cast<Control&>(std::as_const(*this).Get(name, kinds));
}

const HeadlessPresentation::Control& HeadlessPresentation::Get(
    std::string_view name, std::initializer_list<ControlKind> kinds) const {
    const auto found = controls_.find(name);
    if (found == controls_.end()) {
        throw std::invalid_argument("The window has no control named " + std::string(name));
    }
    if (kinds.size() != 0) {
        bool fits = false;
        for (const auto kind : kinds) fits = fits || found->second.spec->kind == kind;
        if (!fits) {
            throw std::invalid_argument(std::string(name) + " is no " + KindList(kinds));
        }
    }
    return found->second;
}

std::string HeadlessPresentation::Text(std::string_view name) const {
    const auto& control = Get(name, {K::Edit, K::LabeledEdit, K::Combo});
    if (control.spec->kind == K::Combo) {
        const auto index = control.item_index;
        if (index < 0 || static_cast<std::size_t>(index) >= control.lines.size()) return {};
        return control.lines[static_cast<std::size_t>(index)];
    }
    return control.text;
}

void HeadlessPresentation::SetText(std::string_view name, const std::string& text) {
    Get(name, {K::Edit, K::LabeledEdit}).text = text;
}

std::vector<std::string> HeadlessPresentation::Lines(std::string_view name) const {
    return Get(name, {K::Memo, K::Combo}).lines;
}

void HeadlessPresentation::SetLines(std::string_view name, const std::vector<std::string>& lines) {
    auto& control = Get(name, {K::Memo, K::Combo});
    control.lines.clear();
    for (const auto& line : lines) AppendLine(name, line);
    if (control.spec->kind == K::Combo) control.item_index = -1;
}

void HeadlessPresentation::AppendLine(std::string_view name, const std::string& line) {
    auto& control = Get(name, {K::Memo, K::Combo});
    if (control.spec->kind == K::Combo) {
        control.lines.push_back(line);
        return;
    }
    for (auto& part : SplitAtCrLf(line)) control.lines.push_back(std::move(part));
}

void HeadlessPresentation::ClearLines(std::string_view name) {
    auto& control = Get(name, {K::Memo, K::Combo});
    control.lines.clear();
    control.item_index = -1;
}

std::string HeadlessPresentation::Cell(std::string_view name, int row, int column) const {
    const auto& cells = Get(name, {K::Grid}).cells;
    if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= cells.size()) return {};
    const auto& cells_of_row = cells[static_cast<std::size_t>(row)];
    if (static_cast<std::size_t>(column) >= cells_of_row.size()) return {};
    return cells_of_row[static_cast<std::size_t>(column)];
}

void HeadlessPresentation::SetCell(std::string_view name, int row, int column,
                                   const std::string& text) {
    auto& cells = Get(name, {K::Grid}).cells;
    if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= cells.size()) return;
    auto& cells_of_row = cells[static_cast<std::size_t>(row)];
    if (static_cast<std::size_t>(column) >= cells_of_row.size()) return;
    cells_of_row[static_cast<std::size_t>(column)] = text;
}

int HeadlessPresentation::RowCount(std::string_view name) const {
    return static_cast<int>(Get(name, {K::Grid, K::List}).cells.size());
}

int HeadlessPresentation::ColCount(std::string_view name) const {
    return static_cast<int>(Get(name, {K::Grid, K::List}).spec->columns.size());
}

void HeadlessPresentation::SetRows(std::string_view name, const std::vector<TextRow>& rows) {
    auto& control = Get(name, {K::List});
    control.cells = rows;
    control.selected.reset();
}

std::vector<TextRow> HeadlessPresentation::Rows(std::string_view name) const {
    return Get(name, {K::List}).cells;
}

std::optional<int> HeadlessPresentation::SelectedRow(std::string_view name) const {
    return Get(name, {K::List}).selected;
}

void HeadlessPresentation::SelectRow(std::string_view name, std::optional<int> row) {
    auto& control = Get(name, {K::List});
    if (row && (*row < 0 || static_cast<std::size_t>(*row) >= control.cells.size())) {
        throw std::invalid_argument(std::string(name) + " has no row " + std::to_string(*row));
    }
    control.selected = row;
}

int HeadlessPresentation::ItemIndex(std::string_view name) const {
    return Get(name, {K::Combo}).item_index;
}

void HeadlessPresentation::SetItemIndex(std::string_view name, int index) {
    auto& control = Get(name, {K::Combo});
    control.item_index =
        (index >= 0 && static_cast<std::size_t>(index) < control.lines.size()) ? index : -1;
}

std::string HeadlessPresentation::Caption(std::string_view name) const {
    return Get(name, {K::Button, K::Group, K::Label, K::Check, K::LabeledEdit, K::Page}).caption;
}

void HeadlessPresentation::SetCaption(std::string_view name, const std::string& caption) {
    Get(name, {K::Button, K::Group, K::Label, K::Check, K::LabeledEdit, K::Page}).caption = caption;
}

bool HeadlessPresentation::Visible(std::string_view name) const {
    return Get(name, {}).visible;
}

void HeadlessPresentation::SetVisible(std::string_view name, bool visible) {
    Get(name, {}).visible = visible;
}

bool HeadlessPresentation::Enabled(std::string_view name) const {
    return Get(name, {}).enabled;
}

void HeadlessPresentation::SetEnabled(std::string_view name, bool enabled) {
    Get(name, {}).enabled = enabled;
}

bool HeadlessPresentation::Checked(std::string_view name) const {
    return Get(name, {K::Check}).checked;
}

void HeadlessPresentation::SetChecked(std::string_view name, bool checked) {
    Get(name, {K::Check}).checked = checked;
}

void HeadlessPresentation::SetTabVisible(std::string_view page, bool visible) {
    Get(page, {K::Page}).visible = visible;
}

bool HeadlessPresentation::TabVisible(std::string_view page) const {
    return Get(page, {K::Page}).visible;
}

void HeadlessPresentation::SetActivePage(std::string_view page) {
    Get(page, {K::Page});
    active_page_ = std::string(page);
}

std::optional<std::string> HeadlessPresentation::AskSaveFile(const FileDialogRequest& request) {
    save_requests_.push_back(request);
    if (options_.save_dir.empty()) return std::nullopt;
    return options_.save_dir + "/" + request.file_name + "." + request.default_ext;
}

std::optional<std::string> HeadlessPresentation::AskOpenFile(const FileDialogRequest&) {
    if (options_.open_file.empty()) return std::nullopt;
    return options_.open_file;
}

void HeadlessPresentation::ShowWaiting() {
    waiting_open_ = true;
    ++waiting_shown_;
}

nlohmann::ordered_json HeadlessPresentation::ToJson(const ProcessStateSnapshot& state) const {
    WindowState window;
    window.title = title_;
    for (const auto& [name, control] : controls_) {
        ControlState& read = window.controls[name];
        read.text = control.text;
        read.lines = control.lines;
        read.rows = control.cells;
        read.caption = control.caption;
        read.visible = control.visible;
        read.enabled = control.enabled;
        read.checked = control.checked;
    }
    window.active_page = active_page_;
    window.messages = messages_;
    window.close_requested = close_requested_;
    window.process = state;
    return WindowStateJson(window);
}

}  // namespace vt
