#include "views/page_texts.h"

namespace vt {

std::string PageTexts::EditOf(std::string_view control) const {
    for (const auto& edit : edits) {
        if (edit.control == control) return edit.text;
    }
    return {};
}

std::vector<std::string> PageTexts::MemoOf(std::string_view control) const {
    for (const auto& memo : memos) {
        if (memo.control == control) return memo.lines;
    }
    return {};
}

void ShowPageTexts(Presentation& window, const PageTexts& texts) {
    for (const auto& edit : texts.edits) window.SetText(edit.control, edit.text);
    for (const auto& memo : texts.memos) window.SetLines(memo.control, memo.lines);
}

}  // namespace vt
