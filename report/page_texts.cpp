#include "report/page_texts.h"

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

}  // namespace vt
