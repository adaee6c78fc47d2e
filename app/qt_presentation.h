#pragma once
// The Presentation on the desktop window's widgets. Texts the program sets are kept as set (8-bit,
// CR LF and all) beside what the widgets display; what the user types replaces them.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/splash_form.h"
#include "views/presentation.h"

namespace vt::app {

// Test seams for the modal parts; empty members show the real boxes and dialogs.
struct DialogHooks {
    std::function<void(const std::string&)> message;
    std::function<void(const std::string&)> error;
    std::function<std::optional<std::string>(const FileDialogRequest&)> save_file;
    std::function<std::optional<std::string>(const FileDialogRequest&)> open_file;
};

class QtPresentation final : public Presentation {
  public:
    QtPresentation(MainWindow& window, TSplashForm& splash);

    void SetHooks(DialogHooks hooks) { hooks_ = std::move(hooks); }

    void SetTitle(const std::string& title) override;
    std::string Title() const override { return title_; }
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

  private:
    template <class W>
    W* Widget(std::string_view name, std::initializer_list<ControlKind> kinds) const;
    // Called when the user edits a memo or an edit box: the widget's text becomes the truth.
    void TakeUserText(const std::string& name);

    MainWindow& window_;
    TSplashForm& splash_;
    DialogHooks hooks_;
    std::string title_;
    // Edit texts and memo lines as the program set them.
    std::map<std::string, std::string, std::less<>> texts_;
    std::map<std::string, std::vector<std::string>, std::less<>> lines_;
    std::map<std::string, std::string, std::less<>> captions_;
    bool setting_ = false;  // true while the program writes into a widget
};

}  // namespace vt::app
