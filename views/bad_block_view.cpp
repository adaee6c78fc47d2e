#include "views/bad_block_view.h"

#include "views/headless_presentation.h"
#include "views/refresh_state.h"
#include "views/text_format.h"

namespace vt {
namespace {

constexpr const char* kRule =
    "-------------------------------------------------------------------------------------------"
    "------";
constexpr std::size_t kWorkBufferSize = 128 * 1024;

// Factory early, factory later | system early, system later (the four error types), Ecc Over,
// Prog Fail, Erase Fail, Ecc Fail.
std::string NumberColumns(const BadBlockRow& row) {
    return Sprintf("  %4d       %4d      %4d       %4d       %4d       %4d       %4d       %4d",
                   static_cast<int>(row[5]), static_cast<int>(row[6]), static_cast<int>(row[0]),
                   static_cast<int>(SystemLaterBad(row)), static_cast<int>(row[4]),
                   static_cast<int>(row[2]), static_cast<int>(row[1]), static_cast<int>(row[3]));
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
            BadBlockRow row{};
            for (std::size_t k = 0; k < kBadBlockColumns; ++k) row[k] = detail.counts.At(c, e, k);
            lines.push_back(Sprintf("CH=%02u CE=%02u", c, e) + NumberColumns(row));
        }
    }
    lines.emplace_back(kRule);
    // "SUM" and ten blanks take the place of "CH=.. CE=.." and its two blanks.
    lines.push_back("SUM        " + NumberColumns(detail.totals));
    lines.emplace_back("(One BlockU equal to two NAND flash blocks)");
    return lines;
}

PageTexts BadBlockPageTexts(const BadBlockDetail& detail, const SystemInfoRecord& info) {
    PageTexts page;
    page.Memo("BadBlockMemo", BadBlockSummaryLines(detail, info.ChannelCount, info.BankCount,
                                                   info.TableFlags & 0x04));
    page.Memo("DetalBadInfoMemo", SplitAtCrLf(detail.text));
    return page;
}

BadBlocksModel ReadBadBlocks(unsigned device) {
    std::vector<std::uint8_t> work(kWorkBufferSize);
    BadBlocksModel model;
    model.detail = BuildBadBlockDetail(device, work, BadBlockMap ? &*BadBlockMap : nullptr);
    model.channels = SystemInfo.ChannelCount;
    model.banks = SystemInfo.BankCount;
    model.block_mode = SystemInfo.TableFlags & 0x04;
    return model;
}

PageTexts ProcessBadBlockInfo(unsigned device) {
    return BadBlockPageTexts(ReadBadBlocks(device).detail, SystemInfo);
}

}  // namespace vt
