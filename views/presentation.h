#pragma once
// The window as the main form's operations see it: every state a refresh or a handler changes,
// reached by control name. The desktop program implements it on Qt widgets, the headless window
// in memory; the form's code runs unchanged on both.
//
// Texts are 8-bit strings: each byte is the character of the same number (Latin-1 on screen).
// A name the window does not have, or an operation the control's kind lacks, throws
// std::invalid_argument: that is a fault in the calling code, shown in the error box.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/page_texts.h"

namespace vt {

struct FileDialogRequest {
    std::string initial_dir;
    std::string file_name;    // proposed name, without directory
    std::string default_ext;  // appended when the user types a name without one
    std::string filter;       // e.g. "*.txt"
};

class Presentation {
  public:
    virtual ~Presentation() = default;

    virtual void SetTitle(const std::string& title) = 0;
    virtual std::string Title() const = 0;

    // Edit boxes (both kinds) and, for a combo, the text of its chosen line.
    virtual std::string Text(std::string_view name) const = 0;
    virtual void SetText(std::string_view name, const std::string& text) = 0;

    // Memos and combos.
    virtual std::vector<std::string> Lines(std::string_view name) const = 0;
    virtual void SetLines(std::string_view name, const std::vector<std::string>& lines) = 0;
    virtual void AppendLine(std::string_view name, const std::string& line) = 0;
    virtual void ClearLines(std::string_view name) = 0;

    // Grids. Cells outside the grid read as empty; writes outside it are ignored.
    virtual std::string Cell(std::string_view name, int row, int column) const = 0;
    virtual void SetCell(std::string_view name, int row, int column, const std::string& text) = 0;
    virtual int RowCount(std::string_view name) const = 0;
    virtual int ColCount(std::string_view name) const = 0;

    // Report lists: rows of cell texts, column 0 first. SetRows drops the selection without
    // telling the form (no select/deselect event), as clearing a list does.
    virtual void SetRows(std::string_view name, const std::vector<TextRow>& rows) = 0;
    virtual std::vector<TextRow> Rows(std::string_view name) const = 0;
    virtual std::optional<int> SelectedRow(std::string_view name) const = 0;
    // Moves the selection without telling the form; the caller runs the handlers.
    virtual void SelectRow(std::string_view name, std::optional<int> row) = 0;

    // Combos: the chosen line, -1 for none.
    virtual int ItemIndex(std::string_view name) const = 0;
    virtual void SetItemIndex(std::string_view name, int index) = 0;

    // Buttons, groups, labels, check boxes, labelled edits, pages.
    virtual std::string Caption(std::string_view name) const = 0;
    virtual void SetCaption(std::string_view name, const std::string& caption) = 0;

    // Visible means the control's own flag, whatever its page shows.
    virtual bool Visible(std::string_view name) const = 0;
    virtual void SetVisible(std::string_view name, bool visible) = 0;
    virtual bool Enabled(std::string_view name) const = 0;
    virtual void SetEnabled(std::string_view name, bool enabled) = 0;
    virtual bool Checked(std::string_view name) const = 0;
    virtual void SetChecked(std::string_view name, bool checked) = 0;

    virtual void SetTabVisible(std::string_view page, bool visible) = 0;
    virtual bool TabVisible(std::string_view page) const = 0;
    virtual void SetActivePage(std::string_view page) = 0;
    virtual std::string ActivePage() const = 0;

    // Modal: returns when the user has closed the box.
    virtual void ShowMessage(const std::string& text) = 0;
    // The standard error box for an error that escaped a handler.
    virtual void ShowError(const std::string& text) = 0;
    // The chosen path, or nullopt when the user cancels.
    virtual std::optional<std::string> AskSaveFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> AskOpenFile(const FileDialogRequest& request) = 0;

    // The waiting window, shown without waiting for it.
    virtual void ShowWaiting() = 0;
    virtual void CloseWaiting() = 0;
    // Lets the windows repaint during a long drive command without taking any user input.
    virtual void ProcessPaintEvents() = 0;

    // Closes the main window, which ends the program.
    virtual void RequestClose() = 0;
};

// Sets every edit text and replaces every memo's lines.
inline void ShowPageTexts(Presentation& window, const PageTexts& texts) {
    for (const auto& edit : texts.edits) window.SetText(edit.control, edit.text);
    for (const auto& memo : texts.memos) window.SetLines(memo.control, memo.lines);
}

}  // namespace vt
