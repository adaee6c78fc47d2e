// The erase count page in its three forms (per table, the K12 list, the K14 lists), with the marks
// of the bad blocks the detailed bad block text found in table pages made of the same input.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_drive.h"
#include "pages/bad_block_detail.h"
#include "pages/erase_count.h"
#include "report/erase_count_texts.h"

namespace {

volatile std::size_t sink;

// What one input may ask the page for, in lines plus cells: the view's work grows with both. The
// places the page treats apart stay within it (channel and CE index 8 and block 4096 against the
// marks, the all-ones entry, no columns at all); only their largest combinations do not.
constexpr std::size_t kMaxWork = std::size_t{1} << 14;

// A count up to `most`, less where each unit of it costs `per_unit`.
std::size_t Count(FuzzedDataProvider& input, std::size_t most, std::size_t per_unit) {
    return input.ConsumeIntegralInRange<std::size_t>(0, std::min(most, kMaxWork / per_unit));
}

// `count` words from the input, zero once it runs out.
std::vector<std::uint16_t> Words(FuzzedDataProvider& input, std::size_t count) {
    std::vector<std::uint16_t> words;
    words.reserve(count);
    while (words.size() < count && input.remaining_bytes() > 0) {
        words.push_back(input.ConsumeIntegral<std::uint16_t>());
    }
    words.resize(count);
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    vt::SystemInfoRecord info = vt::fuzz::DemoInfo(input.ConsumeIntegral<std::uint8_t>());
    const unsigned channels = input.ConsumeIntegralInRange<unsigned>(0, 9);
    const unsigned ces = input.ConsumeIntegralInRange<unsigned>(0, 17);
    const unsigned dies = input.ConsumeIntegralInRange<unsigned>(0, 4);
    const int form = input.ConsumeIntegralInRange<int>(0, 2);

    // Marks from table pages of the input: channel pages of the drive's page size.
    const auto page_bytes = input.ConsumeIntegralInRange<std::size_t>(0, 4096);
    std::vector<std::uint8_t> defect = input.ConsumeBytes<std::uint8_t>(page_bytes);
    std::vector<std::uint8_t> early = input.ConsumeBytes<std::uint8_t>(page_bytes);
    std::vector<std::uint8_t> remap = input.ConsumeBytes<std::uint8_t>(page_bytes);
    std::vector<std::uint8_t> list = input.ConsumeBytes<std::uint8_t>(page_bytes);
    info.ChannelCount = static_cast<std::uint8_t>(channels);
    info.SectorsPerPage = static_cast<std::uint8_t>(page_bytes / 512);
    vt::BadBlockSources sources;
    sources.defect = defect;
    sources.early = early;
    sources.remap = remap;
    sources.unit_list = [&](unsigned, unsigned) { return std::span<const std::uint8_t>(list); };
    sources.drive_unit_list = [&] { return std::span<const std::uint8_t>(list); };
    vt::BadBlockMarks marks;
    (void)vt::BuildBadBlockDetail(info, sources, false, &marks);

    vt::EraseCountPage page;
    const std::size_t columns = std::size_t{channels} * ces;
    switch (form) {
        case 0: {
            vt::PerTableCounts counts;
            counts.channels = channels;
            counts.ces = ces;
            counts.dies = dies;
            counts.blocks = Count(input, 4100, columns + std::max(dies, 1u));
            // The view is handed as many entries as its tables hold.
            counts.entries =
                Words(input, input.ConsumeIntegralInRange<std::size_t>(0, columns * counts.blocks));
            counts.entries.resize(columns * counts.blocks);
            page = vt::PerTableEraseCountPage(counts, &marks);
            break;
        }
        case 1: {
            std::vector<std::uint32_t> entries(Count(input, 20000, columns + 1));
            for (auto& e : entries) e = input.ConsumeIntegral<std::uint32_t>();
            page = vt::K12EraseCountPage(channels, ces, entries);
            break;
        }
        default: {
            std::vector<std::vector<std::uint16_t>> tables(ces);
            for (auto& t : tables) {
                t = Words(input, Count(input, 5000, (columns + 1) * std::max(ces, 1u)));
            }
            page = vt::K14EraseCountPage(channels, ces, tables, input.ConsumeBool());
            break;
        }
    }
    sink = vt::EraseCountTexts(page).edits.size() + vt::EraseCountLines(page).size();
    return 0;
}
