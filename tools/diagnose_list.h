#pragma once
// How the diagnose list draws a status cell: failures stand out in red, passes in blue.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vt {

enum class CellColour { Black, Red, Blue };

struct CellFont {
    CellColour colour = CellColour::Black;
    // True: the style becomes bold alone; false: the style stays as the list had it.
    bool bold_only = false;
};

// "Failed" anywhere wins over "Pass" anywhere (case-sensitive); any other text is black in the
// list's own style.
CellFont DiagnoseCellFont(std::string_view text);

// The font of the cell in `column` of a row (its caption first, then its sub-items); nullopt
// where the list draws as it would anyway: the caption column, and a cell the row does not have.
std::optional<CellFont> DiagnoseSubItemFont(std::span<const std::string> row, std::size_t column);

}  // namespace vt
