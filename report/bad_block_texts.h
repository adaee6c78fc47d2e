#pragma once
// The Bad Block Info page: the summary table per channel and CE, and the detailed list.

#include <cstdint>
#include <string>
#include <vector>

#include "pages/bad_block_detail.h"
#include "pages/page_models.h"
#include "report/page_texts.h"

namespace vt {

// The summary table for `channels` x `banks` rows (CE outer, channel inner), the SUM row and the
// closing note. `block_mode`: bit 2 of TableFlags.
std::vector<std::string> BadBlockSummaryLines(const BadBlockDetail& detail, unsigned channels,
                                              unsigned banks, bool block_mode);

// Both memos of the page.
PageTexts BadBlockPageTexts(const BadBlocksModel& model);

}  // namespace vt
