#include "winapp/win_presentation.h"

#include <commctrl.h>
#include <commdlg.h>

#include <stdexcept>

#include "platform/wide_text.h"
#include "views/headless_presentation.h"

namespace vt::win {
namespace {

using K = ControlKind;

// A single-line control cannot show a line break; the text keeps it.
std::string OneLine(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        if (c == '\n') {
            shown.push_back(' ');
        } else if (c != '\r') {
            shown.push_back(c);
        }
    }
    return shown;
}

std::string ShownCaption(std::string_view text) {
    std::string shown = OneLine(text);
    const auto first = shown.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return shown.substr(first, shown.find_last_not_of(" \t") - first + 1);
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += lines[i];
    }
    return text;
}

std::size_t JoinedLength(const std::vector<std::string>& lines) {
    std::size_t length = lines.empty() ? 0 : 2 * (lines.size() - 1);
    for (const auto& line : lines) length += line.size();
    return length;
}

std::wstring ListText(HWND list, int row, int column) {
    wchar_t buffer[1024];
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(std::size(buffer));
    const auto length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                     reinterpret_cast<LPARAM>(&item));
    return std::wstring(buffer, static_cast<std::size_t>(length));
}

void SetListText(HWND list, int row, int column, const std::string& text) {
    std::wstring wide = Wide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// Holds back the form's events while the program writes into a control.
class Quietly {
  public:
    explicit Quietly(MainWindow& window) : window_(window) { ++window_.quiet; }
    ~Quietly() { --window_.quiet; }
    Quietly(const Quietly&) = delete;
    Quietly& operator=(const Quietly&) = delete;

  private:
    MainWindow& window_;
};

std::optional<std::string> FileDialog(HWND owner, const FileDialogRequest& request, bool save) {
    std::wstring filter;
    if (!request.filter.empty()) {
        const auto wide = platform::WidePath(request.filter).value_or(L"*.*");
        filter = wide + L'\0' + wide + L'\0';
    }
    filter += std::wstring(L"*.*") + L'\0' + L"*.*" + L'\0' + L'\0';
    std::wstring file = platform::WidePath(request.file_name).value_or(L"");
    file.resize(std::max<std::size_t>(file.size() + 1, 32768), L'\0');
    const auto dir = platform::WidePath(request.initial_dir);
    const auto ext = platform::WidePath(request.default_ext);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = dir && !dir->empty() ? dir->c_str() : nullptr;
    dialog.lpstrDefExt = ext && !ext->empty() ? ext->c_str() : nullptr;
    dialog.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_EXPLORER |
                   (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return std::nullopt;
    return platform::NarrowText(std::wstring(file.c_str()));
}

}  // namespace

WinPresentation::WinPresentation(MainWindow& window, SplashWindow& splash)
    : window_(window), splash_(splash) {
    window_.OnIdle([this] { FlushAppends(); });
    for (const auto& spec : MainFormControls()) {
        const std::string name(spec.name);
        captions_[name] = std::string(spec.caption);
        if (spec.kind == K::Edit || spec.kind == K::LabeledEdit)
            texts_[name] = std::string(spec.text);
        if (spec.kind == K::Memo) lines_[name] = {};
    }
}

const WinControl& WinPresentation::Of(std::string_view name,
                                      std::initializer_list<ControlKind> kinds) const {
    const auto& control = window_.Get(name);
    if (kinds.size() != 0) {
        bool fits = false;
        for (const auto kind : kinds) fits = fits || control.spec->kind == kind;
        if (!fits) throw std::invalid_argument(std::string(name) + " is no control of that kind");
    }
    return control;
}

// What the control shows, unless it still shows the kept text the program set.
std::string WinPresentation::Shown(const WinControl& control,
                                   const std::map<std::string, std::string, std::less<>>& kept,
                                   bool one_line) const {
    HWND hwnd = control.hwnd;
    if (control.frame) hwnd = control.frame;
    if (control.label) hwnd = control.label;
    if (!one_line) hwnd = control.hwnd;  // an edit's own text, not its caption label's
    const std::string shown = Latin1(WindowText(hwnd));
    const auto found = kept.find(control.spec->name);
    if (found == kept.end()) return shown;
    const std::string expected = one_line ? ShownCaption(found->second) : OneLine(found->second);
    return expected == shown ? found->second : shown;
}

void WinPresentation::SetTitle(const std::string& title) {
    SetWindowTextW(window_.hwnd(), Wide(title).c_str());
}

std::string WinPresentation::Title() const {
    return Latin1(WindowText(window_.hwnd()));
}

std::string WinPresentation::Text(std::string_view name) const {
    const auto& control = Of(name, {K::Edit, K::LabeledEdit, K::Combo});
    if (control.spec->kind == K::Combo) {
        const auto index = SendMessageW(control.hwnd, CB_GETCURSEL, 0, 0);
        if (index < 0) return {};
        return Lines(name).at(static_cast<std::size_t>(index));
    }
    return Shown(control, texts_, false);
}

void WinPresentation::SetText(std::string_view name, const std::string& text) {
    const auto& control = Of(name, {K::Edit, K::LabeledEdit});
    texts_.find(name)->second = text;
    {
        const Quietly quiet(window_);
        SetWindowTextW(control.hwnd, Wide(OneLine(text)).c_str());
    }
    window_.FitText(name);
}

std::vector<std::string> WinPresentation::MemoLines(const WinControl& control) const {
    FlushAppends();
    const std::string shown = Latin1(WindowText(control.hwnd));
    const auto& kept = lines_.find(control.spec->name)->second;
    if (shown.size() == JoinedLength(kept) && shown == JoinCrLf(kept)) return kept;
    if (shown.empty()) return {};
    return SplitAtCrLf(shown);
}

std::vector<std::string> WinPresentation::Lines(std::string_view name) const {
    const auto& control = Of(name, {K::Memo, K::Combo});
    if (control.spec->kind == K::Memo) return MemoLines(control);
    std::vector<std::string> lines;
    const auto count = SendMessageW(control.hwnd, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const auto length = SendMessageW(control.hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring item(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(control.hwnd, CB_GETLBTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<std::size_t>(length > 0 ? length : 0));
        lines.push_back(Latin1(item));
    }
    return lines;
}

void WinPresentation::SetLines(std::string_view name, const std::vector<std::string>& lines) {
    const auto& control = Of(name, {K::Memo, K::Combo});
    const Quietly quiet(window_);
    if (control.spec->kind == K::Combo) {
        SendMessageW(control.hwnd, CB_RESETCONTENT, 0, 0);
        for (const auto& line : lines) {
            SendMessageW(control.hwnd, CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(Wide(OneLine(line)).c_str()));
        }
        SendMessageW(control.hwnd, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        return;
    }
    pending_.erase(std::string(name));
    auto& kept = lines_.find(name)->second;
    kept.clear();
    for (const auto& line : lines) {
        for (auto& part : SplitAtCrLf(line)) kept.push_back(std::move(part));
    }
    SetWindowTextW(control.hwnd, Wide(JoinCrLf(kept)).c_str());
    window_.FitText(name);
}

void WinPresentation::AppendLine(std::string_view name, const std::string& line) {
    const auto& control = Of(name, {K::Memo, K::Combo});
    if (control.spec->kind == K::Combo) {
        const Quietly quiet(window_);
        SendMessageW(control.hwnd, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Wide(OneLine(line)).c_str()));
        return;
    }
    auto& kept = lines_.find(name)->second;
    auto pending = pending_.find(name);
    if (pending == pending_.end()) {
        // What the user typed since counts as the memo's lines.
        if (static_cast<std::size_t>(GetWindowTextLengthW(control.hwnd)) != JoinedLength(kept)) {
            kept = MemoLines(control);
        }
        if (pending_.empty()) window_.RunWhenIdle();
        pending = pending_.emplace(std::string(name), std::vector<std::wstring>{}).first;
    }
    for (auto& part : SplitAtCrLf(line)) {
        pending->second.push_back(Wide(part));
        kept.push_back(std::move(part));
    }
}

void WinPresentation::FlushAppends() const {
    auto pending = std::move(pending_);
    pending_.clear();
    for (const auto& [name, lines] : pending) {
        const auto& control = window_.Get(name);
        const Quietly quiet(window_);
        const auto end = static_cast<WPARAM>(GetWindowTextLengthW(control.hwnd));
        // The memo's first line goes in without a line break before it.
        const bool from_first = lines_.find(name)->second.size() == lines.size();
        std::wstring text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i > 0 || !from_first) text += L"\r\n";
            text += lines[i];
        }
        SendMessageW(control.hwnd, EM_SETSEL, end, static_cast<LPARAM>(end));
        SendMessageW(control.hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
        window_.FitLines(name, lines);
    }
}

void WinPresentation::ClearLines(std::string_view name) {
    SetLines(name, {});
}

std::string WinPresentation::Cell(std::string_view name, int row, int column) const {
    const auto& control = Of(name, {K::Grid});
    if (row < 0 || column < 0 || row >= RowCount(name) || column >= ColCount(name)) return {};
    return Latin1(ListText(control.hwnd, row, column));
}

void WinPresentation::SetCell(std::string_view name, int row, int column, const std::string& text) {
    const auto& control = Of(name, {K::Grid});
    if (row < 0 || column < 0 || row >= RowCount(name) || column >= ColCount(name)) return;
    SetListText(control.hwnd, row, column, text);
}

int WinPresentation::RowCount(std::string_view name) const {
    return static_cast<int>(
        SendMessageW(Of(name, {K::Grid, K::List}).hwnd, LVM_GETITEMCOUNT, 0, 0));
}

int WinPresentation::ColCount(std::string_view name) const {
    return static_cast<int>(Of(name, {K::Grid, K::List}).spec->columns.size());
}

void WinPresentation::SetRows(std::string_view name, const std::vector<TextRow>& rows) {
    const auto& control = Of(name, {K::List});
    const Quietly quiet(window_);
    SendMessageW(control.hwnd, WM_SETREDRAW, FALSE, 0);
    SendMessageW(control.hwnd, LVM_DELETEALLITEMS, 0, 0);
    const int columns = ColCount(name);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        LVITEMW item{};
        item.iItem = static_cast<int>(r);
        SendMessageW(control.hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = 0; c < columns && c < static_cast<int>(rows[r].size()); ++c) {
            SetListText(control.hwnd, static_cast<int>(r), c,
                        OneLine(rows[r][static_cast<std::size_t>(c)]));
        }
    }
    SendMessageW(control.hwnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control.hwnd, nullptr, TRUE);
}

std::vector<TextRow> WinPresentation::Rows(std::string_view name) const {
    const auto& control = Of(name, {K::List, K::Grid});
    std::vector<TextRow> rows;
    const int count = RowCount(name);
    for (int r = 0; r < count; ++r) {
        TextRow row;
        for (int c = 0; c < ColCount(name); ++c)
            row.push_back(Latin1(ListText(control.hwnd, r, c)));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<int> WinPresentation::SelectedRow(std::string_view name) const {
    const auto row = SendMessageW(Of(name, {K::List}).hwnd, LVM_GETNEXTITEM,
                                  static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (row < 0) return std::nullopt;
    return static_cast<int>(row);
}

void WinPresentation::SelectRow(std::string_view name, std::optional<int> row) {
    const auto& control = Of(name, {K::List});
    const Quietly quiet(window_);
    ListView_SetItemState(control.hwnd, -1, 0, LVIS_SELECTED);
    if (row && *row >= 0 && *row < RowCount(name)) {
        ListView_SetItemState(control.hwnd, *row, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(control.hwnd, *row, FALSE);
    }
}

int WinPresentation::ItemIndex(std::string_view name) const {
    return static_cast<int>(SendMessageW(Of(name, {K::Combo}).hwnd, CB_GETCURSEL, 0, 0));
}

void WinPresentation::SetItemIndex(std::string_view name, int index) {
    const auto& control = Of(name, {K::Combo});
    const Quietly quiet(window_);
    const auto count = SendMessageW(control.hwnd, CB_GETCOUNT, 0, 0);
    SendMessageW(control.hwnd, CB_SETCURSEL,
                 static_cast<WPARAM>(index >= 0 && index < count ? index : -1), 0);
}

std::string WinPresentation::Caption(std::string_view name) const {
    const auto& control =
        Of(name, {K::Button, K::Group, K::Label, K::Check, K::LabeledEdit, K::Page});
    return Shown(control, captions_, true);
}

void WinPresentation::SetCaption(std::string_view name, const std::string& caption) {
    const auto& control =
        Of(name, {K::Button, K::Group, K::Label, K::Check, K::LabeledEdit, K::Page});
    captions_.find(name)->second = caption;
    HWND hwnd = control.frame ? control.frame : control.label ? control.label : control.hwnd;
    SetWindowTextW(hwnd, Wide(ShownCaption(caption)).c_str());
    if (control.spec->kind == K::Page) window_.RefreshTabs();
}

bool WinPresentation::Visible(std::string_view name) const {
    const auto& control = Of(name, {});
    if (control.spec->kind == K::Page) return TabVisible(name);
    return (GetWindowLongPtrW(control.hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

void WinPresentation::SetVisible(std::string_view name, bool visible) {
    const auto& control = Of(name, {});
    if (control.spec->kind == K::Page) return SetTabVisible(name, visible);
    ShowWindow(control.hwnd, visible ? SW_SHOWNA : SW_HIDE);
    if (control.label) ShowWindow(control.label, visible ? SW_SHOWNA : SW_HIDE);
}

bool WinPresentation::Enabled(std::string_view name) const {
    return (GetWindowLongPtrW(Of(name, {}).hwnd, GWL_STYLE) & WS_DISABLED) == 0;
}

void WinPresentation::SetEnabled(std::string_view name, bool enabled) {
    EnableWindow(Of(name, {}).hwnd, enabled ? TRUE : FALSE);
}

bool WinPresentation::Checked(std::string_view name) const {
    return SendMessageW(Of(name, {K::Check}).hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void WinPresentation::SetChecked(std::string_view name, bool checked) {
    const Quietly quiet(window_);
    SendMessageW(Of(name, {K::Check}).hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void WinPresentation::SetTabVisible(std::string_view page, bool visible) {
    window_.SetTabVisible(page, visible);
}

bool WinPresentation::TabVisible(std::string_view page) const {
    return window_.TabVisible(page);
}

void WinPresentation::SetActivePage(std::string_view page) {
    window_.ShowPage(page);
}

std::string WinPresentation::ActivePage() const {
    const auto selected = window_.SelectedPage();
    return selected.empty() ? window_.ShownPage() : selected;
}

void WinPresentation::ShowMessage(const std::string& text) {
    if (hooks_.message) {
        messages_.push_back(text);
        return hooks_.message(text);
    }
    MessageBoxW(window_.hwnd(), Wide(text).c_str(), WindowText(window_.hwnd()).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

void WinPresentation::ShowError(const std::string& text) {
    if (hooks_.message) {
        messages_.push_back(text);
        return hooks_.message(text);
    }
    MessageBoxW(window_.hwnd(), Wide(text).c_str(), WindowText(window_.hwnd()).c_str(),
                MB_OK | MB_ICONERROR);
}

std::optional<std::string> WinPresentation::AskSaveFile(const FileDialogRequest& request) {
    if (hooks_.save_file) return hooks_.save_file(request);
    return FileDialog(window_.hwnd(), request, true);
}

std::optional<std::string> WinPresentation::AskOpenFile(const FileDialogRequest& request) {
    if (hooks_.open_file) return hooks_.open_file(request);
    return FileDialog(window_.hwnd(), request, false);
}

void WinPresentation::ShowWaiting() {
    splash_.Show();
    ProcessPaintEvents();
}

void WinPresentation::CloseWaiting() {
    splash_.Hide();
}

void WinPresentation::ProcessPaintEvents() {
    FlushAppends();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) {
        DispatchMessageW(&message);
    }
}

void WinPresentation::RequestClose() {
    // Posted, so the handler that asked finishes before the window goes.
    close_requested_ = true;
    PostMessageW(window_.hwnd(), WM_CLOSE, 0, 0);
}

WindowState WinPresentation::ReadBack() const {
    FlushAppends();
    WindowState state;
    state.title = Title();
    for (const auto& spec : MainFormControls()) {
        ControlState& read = state.controls[std::string(spec.name)];
        read.visible = Visible(spec.name);
        read.enabled = Enabled(spec.name);
        switch (spec.kind) {
            case K::Edit:
            case K::LabeledEdit:
                read.text = Text(spec.name);
                break;
            case K::Memo:
            case K::Combo:
                read.lines = Lines(spec.name);
                break;
            case K::Grid:
            case K::List:
                read.rows = Rows(spec.name);
                break;
            case K::Check:
                read.checked = Checked(spec.name);
                [[fallthrough]];
            case K::Button:
            case K::Group:
            case K::Label:
            case K::Page:
                read.caption = Caption(spec.name);
                break;
            default:
                break;
        }
    }
    state.active_page = ActivePage();
    state.messages = messages_;
    state.close_requested = close_requested_;
    state.process = CurrentProcessState();
    return state;
}

}  // namespace vt::win
