#pragma once
// The Bad Block Info page: the summary table per channel and CE, and the detailed list.

#include <cstdint>
#include <string>
#include <vector>

#include "views/bad_block_detail.h"
#include "views/page_models.h"
#include "views/page_texts.h"

namespace vt {

// The summary table for `channels` x `banks` rows (CE outer, channel inner), the SUM row and the
// closing note. `block_mode`: bit 2 of TableFlags.
std::vector<std::string> BadBlockSummaryLines(const BadBlockDetail& detail, unsigned channels,
                                              unsigned banks, bool block_mode);

// Both memos of the page.
PageTexts BadBlockPageTexts(const BadBlockDetail& detail, const SystemInfoRecord& info);

// Builds the detail for the device (marking BadBlockMap when it exists), with the geometry of the
// SystemInfo it reads.
BadBlocksModel ReadBadBlocks(unsigned device);
// The same and the page's texts.
PageTexts ProcessBadBlockInfo(unsigned device);

}  // namespace vt
