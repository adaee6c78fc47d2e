#pragma once
// The Erase Count page: the erase count of every flash block, read per table or, for two
// controller models, as one list, with the average and the maximum.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pages/refresh_state.h"
#include "vendor/system_info.h"

namespace vt {

enum class EraseCountForm { PerTable, K12, K14 };
EraseCountForm EraseCountFormOf(std::string_view controller_model);

// A drive may claim any channel, CE and block count; the page keeps at most this many cells (a
// real drive of the largest geometry has 8 x 8 x 4096), so a corrupt answer cannot exhaust memory.
inline constexpr std::size_t kMaxEraseCountCells = std::size_t{1} << 24;

inline constexpr std::uint32_t kNoEraseCount = 0xFFFFFFFF;

// The page's table as numbers: one row per block line, one column per channel and CE
// (column j: channel j % channels, CE j / channels).
struct EraseCountGrid {
    unsigned channels = 0;
    std::size_t column_count = 0;
    std::vector<std::uint32_t> blocks;  // the block number leading each row
    std::vector<std::uint32_t> counts;  // rows x columns; kNoEraseCount: the table has no value
    std::vector<bool> bad;              // rows x columns: shown bracketed, a marked bad block

    std::size_t columns() const { return column_count; }
    std::uint32_t At(std::size_t row, std::size_t column) const {
        return counts[row * columns() + column];
    }
    bool BadAt(std::size_t row, std::size_t column) const { return bad[row * columns() + column]; }
};

struct EraseCountPage {
    EraseCountForm form = EraseCountForm::PerTable;
    EraseCountGrid grid;
    bool has_summary = false;  // false: the average and the maximum were not computed
    std::uint64_t average = 0;
    std::uint64_t maximum = 0;
};

// Per-table form: `entries` holds the tables in reading order (CE index outer, channel inner),
// `blocks` entries each. An all-ones entry has no value.
struct PerTableCounts {
    unsigned channels = 0;
    unsigned ces = 0;  // bank count x dies per CE
    unsigned dies = 0;
    std::size_t blocks = 0;
    std::vector<std::uint16_t> entries;
    // Tables whose read failed: their entries have no value and they leave the average's divisor.
    std::size_t unread_tables = 0;
};
EraseCountPage PerTableEraseCountPage(const PerTableCounts& counts, const BadBlockMarks* marks);

// K12 form: one list of 32-bit entries, each shown under every column.
EraseCountPage K12EraseCountPage(unsigned channels, unsigned ces,
                                 std::span<const std::uint32_t> entries);
// K14 form: one list per table index; `complete` false when a read failed after these tables,
// which leaves the lines shown and no average or maximum.
EraseCountPage K14EraseCountPage(unsigned channels, unsigned ces,
                                 const std::vector<std::vector<std::uint16_t>>& tables,
                                 bool complete);

// Reads the device's erase count tables into the buffer (TransferBuffer) and builds the page, the
// blocks `marks` holds marked as bad; nullopt when the first read fails.
std::optional<EraseCountPage> ReadEraseCount(unsigned device, std::span<std::uint8_t> buffer,
                                             const SystemInfoRecord& info,
                                             const BadBlockMarks* marks);

}  // namespace vt
