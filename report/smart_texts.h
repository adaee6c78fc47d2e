#pragma once
// The S.M.A.R.T. page's texts: the grid rows, the summary lines and the saved report.

#include <string>
#include <vector>

#include "pages/smart.h"
#include "report/page_texts.h"

namespace vt {

// Row 0 is the header, so the grid holds 29 attributes.
inline constexpr int kSmartGridRows = 30;
inline constexpr int kSmartGridColumns = 7;

// The six raw bytes as the grid shows them: hex pairs, most significant first.
std::string SmartRawText(const SmartAttribute& attribute);

TextRow SmartGridHeader();
// One row per named attribute in entry order, at most kSmartGridRows - 1.
std::vector<TextRow> SmartGridRows(const SmartData& data, SmartNameVariant variant);

std::vector<std::string> SmartSummaryLines(const SmartData& data);
// From the low and then the high byte of the revision word.
std::string SmartGroupCaption(std::uint16_t revision);

// The saved report: the header block, then one line per row whose ID cell is not empty. `rows`
// are grid rows 1 to 29 as the grid shows them.
std::vector<std::string> SmartReportLines(const std::vector<TextRow>& rows);

}  // namespace vt
