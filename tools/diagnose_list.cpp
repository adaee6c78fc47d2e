#include "tools/diagnose_list.h"

namespace vt {

CellFont DiagnoseCellFont(std::string_view text) {
    if (text.find("Failed") != std::string_view::npos) return {CellColour::Red, true};
    if (text.find("Pass") != std::string_view::npos) return {CellColour::Blue, true};
    return {CellColour::Black, false};
}

std::optional<CellFont> DiagnoseSubItemFont(std::span<const std::string> row, std::size_t column) {
    if (column == 0 || column >= row.size()) return std::nullopt;
    return DiagnoseCellFont(row[column]);
}

}  // namespace vt
