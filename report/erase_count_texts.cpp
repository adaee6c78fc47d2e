#include "report/erase_count_texts.h"

#include "pages/text_format.h"

namespace vt {
std::string EraseCountHeader(unsigned channels, unsigned ce_numbers) {
    std::string header = "Ch/CE\t";
    for (unsigned ce = 0; ce < ce_numbers; ++ce) {
        for (unsigned channel = 0; channel < channels; ++channel) {
            AppendF(header, "[%u]/[%u]\t", channel, ce);
        }
    }
    return header;
}

std::string EraseCountLine(const EraseCountPage& page, std::size_t row) {
    const auto& grid = page.grid;
    // The per-table form pads its counts to two places; the list forms do not.
    const int width = page.form == EraseCountForm::PerTable ? 2 : 0;
    std::string line;
    line.reserve(6 + grid.columns() * 5);
    AppendZeroPadded(line, grid.blocks[row], 4);
    line.push_back('\t');
    for (std::size_t j = 0; j < grid.columns(); ++j) {
        const std::uint32_t v = grid.At(row, j);
        if (v == kNoEraseCount) {
            line += "X\t";
            continue;
        }
        const bool bad = grid.BadAt(row, j);
        if (bad) line.push_back('[');
        AppendDecimal(line, v, width);
        if (bad) line.push_back(']');
        line.push_back('\t');
    }
    return line;
}

std::vector<std::string> EraseCountLines(const EraseCountPage& page) {
    const auto& grid = page.grid;
    const unsigned ces = grid.channels ? static_cast<unsigned>(grid.columns() / grid.channels) : 0;
    std::vector<std::string> lines;
    lines.reserve(grid.blocks.size() + 1);
    lines.push_back(EraseCountHeader(grid.channels, ces));
    for (std::size_t row = 0; row < grid.blocks.size(); ++row)
        lines.push_back(EraseCountLine(page, row));
    return lines;
}

PageTexts EraseCountSummaryTexts(const EraseCountPage& page) {
    PageTexts texts;
    if (page.has_summary) {
        texts.Edit("AeraseEdit", Sprintf("\nAverage erase count = %llu\n",
                                         static_cast<unsigned long long>(page.average)));
        texts.Edit("MeraseEdit", Sprintf("Max. erase count = %llu\n\n",
                                         static_cast<unsigned long long>(page.maximum)));
    }
    return texts;
}

PageTexts EraseCountTexts(const EraseCountPage& page) {
    PageTexts texts = EraseCountSummaryTexts(page);
    texts.Memo("EraseMemo", EraseCountLines(page));
    return texts;
}

std::vector<std::string> EraseCountCells(std::string_view line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string_view::npos;
         start = tab + 1) {
        cells.emplace_back(line.substr(start, tab - start));
    }
    if (start < line.size()) cells.emplace_back(line.substr(start));
    return cells;
}

}  // namespace vt
