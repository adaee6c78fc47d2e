#pragma once
// What a page shows, as plain texts by control name: the renderers produce it from the page
// models without a window, and the form hands it to whichever presentation it runs on, so the
// desktop window and the headless window can never disagree on a text.

#include <string>
#include <string_view>
#include <vector>

namespace vt {

// The cells of a grid row, first column first.
using TextRow = std::vector<std::string>;

struct EditText {
    std::string_view control;
    std::string text;
};

struct MemoLines {
    std::string_view control;
    std::vector<std::string> lines;  // the memo's whole content
};

struct PageTexts {
    std::vector<EditText> edits;
    std::vector<MemoLines> memos;

    void Edit(std::string_view control, std::string text) {
        edits.push_back({control, std::move(text)});
    }
    void Memo(std::string_view control, std::vector<std::string> lines) {
        memos.push_back({control, std::move(lines)});
    }
    // The text of an edit or the lines of a memo set here; empty when the page leaves it alone.
    std::string EditOf(std::string_view control) const;
    std::vector<std::string> MemoOf(std::string_view control) const;
};

}  // namespace vt
