#pragma once
// The main window without a display: the controls of the table held in memory. Message boxes are
// answered at once and recorded; file dialogs answer from the options given at construction.

#include <map>
#include <nlohmann/json.hpp>

#include "pages/text_format.h"
#include "views/controls.h"
#include "views/presentation.h"
#include "views/window_state.h"

namespace vt {

struct HeadlessOptions {
    // A save dialog answers DIR/NAME.txt (NAME: the proposed name); cancelled when empty.
    std::string save_dir;
    // An open dialog answers this file; cancelled when empty.
    std::string open_file;
};

class HeadlessPresentation : public Presentation {
  public:
    explicit HeadlessPresentation(HeadlessOptions options = {});

    void SetTitle(const std::string& title) override { title_ = title; }
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
    std::string ActivePage() const override { return active_page_; }
    void ShowMessage(const std::string& text) override { messages_.push_back(text); }
    void ShowError(const std::string& text) override { messages_.push_back(text); }
    std::optional<std::string> AskSaveFile(const FileDialogRequest& request) override;
    std::optional<std::string> AskOpenFile(const FileDialogRequest& request) override;
    void ShowWaiting() override;
    void CloseWaiting() override { waiting_open_ = false; }
    void ProcessPaintEvents() override {}
    void RequestClose() override { close_requested_ = true; }

    const std::vector<std::string>& Messages() const { return messages_; }
    bool CloseRequested() const { return close_requested_; }
    bool WaitingOpen() const { return waiting_open_; }
    int WaitingShownCount() const { return waiting_shown_; }
    // The dialogs asked so far, for tests of what the form proposes.
    const std::vector<FileDialogRequest>& SaveRequests() const { return save_requests_; }

    // The window as the headless window prints it.
    nlohmann::ordered_json ToJson(const ProcessStateSnapshot& state) const;

  private:
    struct Control {
        const ControlSpec* spec = nullptr;
        std::string text;
        std::string caption;
        std::vector<std::string> lines;
        std::vector<TextRow> cells;  // grid rows, or list rows
        std::optional<int> selected;
        int item_index = -1;
        bool visible = true;
        bool enabled = true;
        bool checked = false;
    };

    Control& Get(std::string_view name, std::initializer_list<ControlKind> kinds);
    const Control& Get(std::string_view name, std::initializer_list<ControlKind> kinds) const;

    HeadlessOptions options_;
    std::string title_;
    std::map<std::string, Control, std::less<>> controls_;
    std::string active_page_;
    std::vector<std::string> messages_;
    std::vector<FileDialogRequest> save_requests_;
    bool close_requested_ = false;
    bool waiting_open_ = false;
    int waiting_shown_ = 0;
};

}  // namespace vt
