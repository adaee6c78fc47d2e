#include "cli/heatmap.h"

#include <algorithm>

namespace vt::cli {
namespace {

constexpr std::uint16_t kNoValue16 = 0xFFFF;
constexpr std::uint32_t kNoValue32 = 0xFFFFFFFF;

}  // namespace

HeatmapData HeatmapDataOf(const EraseCountTables& tables) {
    HeatmapData data;
    auto add_columns = [&](unsigned channels, unsigned ces) {
        for (unsigned ce = 0; ce < ces; ++ce) {
            for (unsigned channel = 0; channel < channels; ++channel)
                data.columns.push_back({channel, ce});
        }
    };
    // As many rows as the page keeps cells for.
    auto room = [&] {
        const std::size_t used = data.blocks.size() * data.columns.size();
        return data.columns.empty() || used >= kMaxEraseCountCells
                   ? std::size_t{0}
                   : (kMaxEraseCountCells - used) / data.columns.size();
    };
    auto add_list_row = [&](std::uint32_t block, bool valid, std::uint32_t value) {
        data.blocks.push_back(block);
        data.counts.insert(data.counts.end(), data.columns.size(),
                           valid ? value : HeatmapData::kNoCount);
        data.bad.insert(data.bad.end(), data.columns.size(), false);
    };
    switch (tables.form) {
        case EraseCountForm::K12: {
            add_columns(tables.channels, tables.ces);
            const std::size_t rows = std::min(tables.list.size(), room());
            for (std::size_t p = 0; p < rows; ++p) {
                const std::uint32_t v = tables.list[p];
                add_list_row(static_cast<std::uint32_t>(p), v != kNoValue32,
                             std::min(v, HeatmapData::kNoCount - 1));
            }
            break;
        }
        case EraseCountForm::K14:
            add_columns(tables.channels, tables.ces);
            for (const auto& table : tables.tables) {
                const std::size_t rows = std::min(table.size(), room());
                for (std::size_t p = 0; p < rows; ++p)
                    add_list_row(static_cast<std::uint32_t>(p), table[p] != kNoValue16, table[p]);
            }
            break;
        case EraseCountForm::PerTable: {
            const PerTableCounts& counts = tables.per_table;
            const std::size_t n = counts.blocks;
            const std::size_t all = std::size_t{counts.ces} * counts.channels;
            // As the page: a table set missing entries shows no rows.
            if (counts.dies == 0 || counts.channels == 0 || counts.entries.size() < all * n ||
                tables.bad.size() != counts.entries.size()) {
                add_columns(counts.channels, counts.dies ? counts.ces / counts.dies : 0);
                break;
            }
            const std::size_t per_die = all / counts.dies;
            add_columns(counts.channels, counts.ces / counts.dies);
            for (std::size_t d = 0; d < counts.dies; ++d) {
                for (std::size_t p = 0; p < n; ++p) {
                    data.blocks.push_back(static_cast<std::uint32_t>(d * n + p));
                    for (std::size_t m = d * per_die; m < (d + 1) * per_die; ++m) {
                        const std::uint16_t v = counts.entries[m * n + p];
                        data.counts.push_back(v == kNoValue16 ? HeatmapData::kNoCount : v);
                        data.bad.push_back(v != kNoValue16 && tables.bad[m * n + p]);
                    }
                }
            }
            break;
        }
    }
    return data;
}

}  // namespace vt::cli
