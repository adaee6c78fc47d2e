#include "pages/erase_count.h"

#include <algorithm>

#include "access/raw_dump.h"
#include "ctrl/read_system_info.h"
#include "pages/text_format.h"
#include "platform/byte_order.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

constexpr std::uint16_t kNoValue16 = 0xFFFF;
constexpr std::uint32_t kNoValue32 = 0xFFFFFFFF;
constexpr unsigned kListSectors = 64;
constexpr std::size_t kListBytes = kListSectors * 512;

std::uint64_t Quotient(std::uint64_t sum, std::uint64_t count) {
    return count ? sum / count : 0;
}

// How many of `wanted` lines of `cells_per_line` cells fit in the cell budget.
std::size_t LinesInBudget(std::size_t wanted, std::size_t cells_per_line, std::size_t used = 0) {
    if (cells_per_line == 0) return wanted;
    const std::size_t left = used < kMaxEraseCountCells ? kMaxEraseCountCells - used : 0;
    return std::min(wanted, left / cells_per_line);
}

void StartGrid(EraseCountGrid& grid, unsigned channels, std::size_t columns) {
    grid.channels = channels;
    grid.column_count = columns;
}

// A list row of the K12 and K14 forms: the same count under every column.
void AddListRow(EraseCountGrid& grid, std::size_t position, bool valid, std::uint64_t value) {
    grid.blocks.push_back(static_cast<std::uint32_t>(position));
    const auto count = valid ? static_cast<std::uint32_t>(value) : kNoEraseCount;
    grid.counts.insert(grid.counts.end(), grid.columns(), count);
    grid.bad.insert(grid.bad.end(), grid.columns(), false);
}

}  // namespace

EraseCountForm EraseCountFormOf(std::string_view controller_model) {
    if (controller_model == "K14") return EraseCountForm::K14;
    if (controller_model == "K12") return EraseCountForm::K12;
    return EraseCountForm::PerTable;
}

EraseCountPage PerTableEraseCountPage(const PerTableCounts& counts, const BadBlockMarks* marks) {
    EraseCountPage page;
    const unsigned c_count = counts.channels;
    const unsigned dies = counts.dies;
    const std::size_t tables = std::size_t{counts.ces} * c_count;
    const std::size_t n = counts.blocks;
    // A table set that does not hold every entry it claims shows none.
    const bool whole = counts.entries.size() >= tables * n;
    page.form = EraseCountForm::PerTable;
    auto& grid = page.grid;

    std::uint64_t sum = 0;
    std::uint64_t maximum = 0;
    const std::size_t per_die = dies ? tables / dies : 0;
    StartGrid(grid, c_count, per_die);
    for (unsigned d = 0; d < dies && whole; ++d) {
        for (std::size_t p = 0; p < n; ++p) {
            grid.blocks.push_back(static_cast<std::uint32_t>(d * n + p));
            for (std::size_t m = d * per_die; m < (d + 1) * per_die; ++m) {
                const std::uint16_t v = counts.entries[m * n + p];
                if (v == kNoValue16) {
                    grid.counts.push_back(kNoEraseCount);
                    grid.bad.push_back(false);
                    continue;
                }
                const auto channel = static_cast<unsigned>(m % c_count);
                const auto ce = static_cast<unsigned>(m / c_count);
                const bool bad = marks && marks->IsBad(channel, ce, static_cast<unsigned>(p));
                grid.counts.push_back(v);
                grid.bad.push_back(bad);
                maximum = std::max<std::uint64_t>(maximum, v);
                sum += v;
            }
        }
    }
    page.has_summary = true;
    const std::size_t read = tables - std::min(tables, counts.unread_tables);
    page.average = whole ? Quotient(sum, read * n) : 0;
    page.maximum = maximum;
    return page;
}

EraseCountPage K12EraseCountPage(unsigned channels, unsigned ces,
                                 std::span<const std::uint32_t> entries) {
    EraseCountPage page;
    const std::size_t columns = std::size_t{channels} * ces;
    page.form = EraseCountForm::K12;
    StartGrid(page.grid, channels, columns);
    const std::size_t shown = LinesInBudget(entries.size(), columns);
    std::uint64_t sum = 0;
    std::uint64_t count = 0;
    std::uint64_t maximum = 0;
    for (std::size_t p = 0; p < entries.size(); ++p) {
        const std::uint32_t v = entries[p];
        const bool valid = v != kNoValue32;
        if (valid) {
            sum += v;
            ++count;
            maximum = std::max<std::uint64_t>(maximum, v);
        }
        if (p < shown) AddListRow(page.grid, p, valid, v);
    }
    page.has_summary = true;
    page.average = Quotient(sum, count);
    page.maximum = maximum;
    return page;
}

EraseCountPage K14EraseCountPage(unsigned channels, unsigned ces,
                                 const std::vector<std::vector<std::uint16_t>>& tables,
                                 bool complete) {
    EraseCountPage page;
    const std::size_t columns = std::size_t{channels} * ces;
    page.form = EraseCountForm::K14;
    StartGrid(page.grid, channels, columns);
    std::uint64_t sum = 0;
    std::uint64_t count = 0;
    std::uint64_t maximum = 0;
    std::size_t cells = 0;
    for (const auto& table : tables) {
        const std::size_t shown = LinesInBudget(table.size(), columns, cells);
        cells += shown * columns;
        for (std::size_t p = 0; p < table.size(); ++p) {
            const std::uint16_t v = table[p];
            const bool valid = v != kNoValue16;
            if (valid) {
                sum += v;
                ++count;
                maximum = std::max<std::uint64_t>(maximum, v);
            }
            if (p < shown) AddListRow(page.grid, p, valid, v);
        }
    }
    page.has_summary = complete;
    page.average = Quotient(sum, count);
    page.maximum = maximum;
    return page;
}

std::optional<EraseCountPage> ReadEraseCount(unsigned device, std::span<std::uint8_t> buffer,
                                             const SystemInfoRecord& info,
                                             const BadBlockMarks* marks) {
    const unsigned ces = static_cast<std::uint8_t>(info.BankCount * info.DiesPerCe);
    const unsigned channels = info.ChannelCount;
    const std::span<const std::uint8_t> data = buffer;
    const std::size_t buffer_sectors = buffer.size() / 512;

    switch (EraseCountFormOf(ControllerModel(info))) {
        case EraseCountForm::K12: {
            if (!VA_ReadEraseCount(device, buffer, kListSectors, 0, 0)) return std::nullopt;
            DumpRawFile("erasecount.raw", data.first(std::min(data.size(), std::size_t{65536})));
            const std::size_t n = std::min<std::size_t>(Le16(data, 0), (kListBytes - 4) / 4);
            std::vector<std::uint32_t> entries(n);
            for (std::size_t p = 0; p < n; ++p) entries[p] = Le32(data, 4 + 4 * p);
            return K12EraseCountPage(channels, ces, entries);
        }
        case EraseCountForm::K14: {
            std::vector<std::vector<std::uint16_t>> tables;
            bool complete = true;
            for (unsigned t = 0; t < ces; ++t) {
                if (!VA_ReadEraseCount(device, buffer, kListSectors, 0,
                                       static_cast<std::uint8_t>(t))) {
                    complete = false;
                    break;
                }
                DumpRawFile("erasecount.raw",
                            data.first(std::min(data.size(), std::size_t{65536})));
                const std::size_t n = std::min<std::size_t>(Le16(data, 0), (kListBytes - 4) / 2);
                auto& table = tables.emplace_back(n);
                for (std::size_t p = 0; p < n; ++p) table[p] = Le16(data, 4 + 2 * p);
            }
            return K14EraseCountPage(channels, ces, tables, complete);
        }
        case EraseCountForm::PerTable:
            break;
    }

    if (!VA_ReadEraseCount(device, buffer, 2, 0, 0)) return std::nullopt;
    PerTableCounts counts;
    counts.channels = channels;
    counts.ces = ces;
    counts.dies = info.DiesPerCe;
    const std::size_t claimed = Le16(data, 4);
    // The buffer holds at most 128 KiB of a table; entries past it were never sent.
    const auto sectors =
        static_cast<unsigned>(std::min<std::size_t>((4 * claimed + 519) / 512, buffer_sectors));
    const std::size_t in_buffer = sectors * 512 >= 8 ? (sectors * 512 - 8) / 2 : 0;
    const std::size_t tables = std::size_t{ces} * channels;
    counts.blocks = LinesInBudget(std::min(claimed, in_buffer), tables);
    counts.entries.resize(tables * counts.blocks);
    for (unsigned e = 0; e < ces; ++e) {
        for (unsigned c = 0; c < channels; ++c) {
            std::fill_n(buffer.begin(), std::min<std::size_t>(4, buffer.size()), 0);
            if (!VA_ReadEraseCount(device, buffer, sectors, static_cast<std::uint8_t>(c),
                                   static_cast<std::uint8_t>(e))) {
                // The buffer still holds the table read before; a table not read has no values.
                std::fill_n(buffer.begin(), std::size_t{sectors} * 512, std::uint8_t{0xFF});
                ++counts.unread_tables;
            }
            DumpRawFile(Sprintf("EC_%2.2u_%2.2u.raw", c, e), data);
            const std::size_t table = std::size_t{e} * channels + c;
            for (std::size_t p = 0; p < counts.blocks; ++p) {
                counts.entries[table * counts.blocks + p] = Le16(data, 8 + 2 * p);
            }
        }
    }
    return PerTableEraseCountPage(counts, marks);
}

}  // namespace vt
