#pragma once
// The Erase Count page's texts, rendered from the grid: the memo's table (a header, then one line
// per block) and the average and maximum edits.

#include <string>
#include <string_view>
#include <vector>

#include "pages/erase_count.h"
#include "report/page_texts.h"

namespace vt {

// "Ch/CE\t" and one "[channel]/[ce]\t" per column, CE outer, channel inner.
std::string EraseCountHeader(unsigned channels, unsigned ce_numbers);

// The memo's line of one row of the grid: the block as four digits, then a cell per column ended
// by a tab ("X" for no count, a marked bad block in brackets).
std::string EraseCountLine(const EraseCountPage& page, std::size_t row);
// The memo's whole content: the header and every row.
std::vector<std::string> EraseCountLines(const EraseCountPage& page);

// The memo and the two edits; the edits keep what they held when the page has no summary.
PageTexts EraseCountTexts(const EraseCountPage& page);
// The two edits alone.
PageTexts EraseCountSummaryTexts(const EraseCountPage& page);

// The cells of one EraseMemo line: every cell ends with a tab, so there is no empty cell after the
// last one.
std::vector<std::string> EraseCountCells(std::string_view line);

}  // namespace vt
