#pragma once
// The Presentation on the Windows window's controls. What the form reads comes back from the
// controls themselves; a text the program set is kept beside only to give back what a control
// cannot show as set (line breaks in a one-line control, a memo of one empty line), and only while
// the control still shows it.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "views/presentation.h"
#include "views/window_state.h"
#include "winapp/main_window.h"

namespace vt::win {

// The modal parts for a run driven by a script: empty members show the real boxes and dialogs.
struct DialogHooks {
    std::function<void(const std::string&)> message;  // both boxes
    std::function<std::optional<std::string>(const FileDialogRequest&)> save_file;
    std::function<std::optional<std::string>(const FileDialogRequest&)> open_file;
};

class WinPresentation final : public Presentation {
  public:
    WinPresentation(MainWindow& window, SplashWindow& splash);

    void SetHooks(DialogHooks hooks) { hooks_ = std::move(hooks); }

    void SetTitle(const std::string& title) override;
    std::string Title() const override;
    std::string Text(std::string_view name) const override;
    void SetText(std::string_view name, const std::string& text) override;
    std::vector<std::string> Lines(std::string_view name) const override;
    void SetLines(std::string_view name, const std::vector<std::string>& lines) override;
    void AppendLine(std::string_view name, const std::string& line) override;
    void ClearLines(std::string_view name) override;
    std::string Cell(std::string_view name, int row, int column) const override;
    void SetCell(std::string_view name, int row, int column, const std::string& text) override;
    int RowCount(std::string_view name) const override;
    int ColCount(std::string_view name) const override;
    void SetRows(std::string_view name, const std::vector<TextRow>& rows) override;
    std::vector<TextRow> Rows(std::string_view name) const override;
    std::optional<int> SelectedRow(std::string_view name) const override;
    void SelectRow(std::string_view name, std::optional<int> row) override;
    int ItemIndex(std::string_view name) const override;
    void SetItemIndex(std::string_view name, int index) override;
    std::string Caption(std::string_view name) const override;
    void SetCaption(std::string_view name, const std::string& caption) override;
    bool Visible(std::string_view name) const override;
    void SetVisible(std::string_view name, bool visible) override;
    bool Enabled(std::string_view name) const override;
    void SetEnabled(std::string_view name, bool enabled) override;
    bool Checked(std::string_view name) const override;
    void SetChecked(std::string_view name, bool checked) override;
    void SetTabVisible(std::string_view page, bool visible) override;
    bool TabVisible(std::string_view page) const override;
    void SetActivePage(std::string_view page) override;
    std::string ActivePage() const override;
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    std::optional<std::string> AskSaveFile(const FileDialogRequest& request) override;
    std::optional<std::string> AskOpenFile(const FileDialogRequest& request) override;
    void ShowWaiting() override;
    void CloseWaiting() override;
    void ProcessPaintEvents() override;
    void RequestClose() override;

    bool CloseRequested() const { return close_requested_; }
    // The boxes the hooks answered, in order.
    const std::vector<std::string>& Messages() const { return messages_; }
    // Hands the lines appended since to their memos (reads and paints do it themselves).
    void FlushAppends() const;
    // Every control read back, in the shape of `vtutil window`.
    WindowState ReadBack() const;

  private:
    const WinControl& Of(std::string_view name, std::initializer_list<ControlKind> kinds) const;
    std::vector<std::string> MemoLines(const WinControl& control) const;
    std::string Shown(const WinControl& control,
                      const std::map<std::string, std::string, std::less<>>& kept,
                      bool one_line) const;

    MainWindow& window_;
    SplashWindow& splash_;
    DialogHooks hooks_;
    std::vector<std::string> messages_;
    // Texts and captions as the program set them; memo lines likewise.
    std::map<std::string, std::string, std::less<>> texts_;
    std::map<std::string, std::string, std::less<>> captions_;
    std::map<std::string, std::vector<std::string>, std::less<>> lines_;
    // Lines appended and not yet in their memo: a memo takes them in one piece, since putting a
    // long report into it line by line costs time in the square of its length.
    mutable std::map<std::string, std::vector<std::wstring>, std::less<>> pending_;
    bool close_requested_ = false;
};

}  // namespace vt::win
