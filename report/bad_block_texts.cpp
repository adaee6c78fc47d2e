#include "report/bad_block_texts.h"

#include "pages/text_format.h"

namespace vt {
namespace {

constexpr const char* kRule =
    "-------------------------------------------------------------------------------------------"
    "------";

// Factory early, factory later | system early, system later (the four error types), Ecc Over,
// Prog Fail, Erase Fail, Ecc Fail.
std::string NumberColumns(const BadBlockTally& t) {
    return Sprintf("  %4d       %4d      %4d       %4d       %4d       %4d       %4d       %4d",
                   static_cast<int>(t.factory_early), static_cast<int>(t.factory_later),
                   static_cast<int>(t.system_early), static_cast<int>(t.system_later),
                   static_cast<int>(t.ecc_over), static_cast<int>(t.prog_fail),
                   static_cast<int>(t.erase_fail), static_cast<int>(t.ecc_fail));
}

}  // namespace

std::vector<std::string> BadBlockSummaryLines(const BadBlockDetail& detail, unsigned channels,
                                              unsigned banks, bool block_mode) {
    std::vector<std::string> lines;
    lines.reserve(std::size_t{channels} * banks + 8);
    lines.emplace_back(kRule);
    lines.emplace_back(
        block_mode
            ? "              [Factory](Block)   |                       [System](Block)         "
              "                 "
            : "              [Factory](Block)   |                       [System](BlockU)        "
              "                 ");
    lines.emplace_back(
        "            early_bad  later_bad | early_bad  later_bad  Ecc Over  Prog Fail  Erase "
        "Fail  Ecc Fail");
    lines.emplace_back(kRule);
    for (unsigned e = 0; e < banks; ++e) {
        for (unsigned c = 0; c < channels; ++c) {
            lines.push_back(Sprintf("CH=%02u CE=%02u", c, e) +
                            NumberColumns(TallyOf(detail.counts.Row(c, e))));
        }
    }
    lines.emplace_back(kRule);
    // "SUM" and ten blanks take the place of "CH=.. CE=.." and its two blanks.
    lines.push_back("SUM        " + NumberColumns(TallyOf(detail.totals)));
    lines.emplace_back("(One BlockU equal to two NAND flash blocks)");
    return lines;
}

PageTexts BadBlockPageTexts(const BadBlocksModel& model) {
    PageTexts page;
    page.Memo("BadBlockMemo",
              BadBlockSummaryLines(model.detail, model.channels, model.banks, model.block_mode));
    page.Memo("DetalBadInfoMemo", SplitAtCrLf(model.detail.text));
    return page;
}

}  // namespace vt
