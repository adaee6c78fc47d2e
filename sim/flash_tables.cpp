#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "sim/drive_model.h"

namespace vt::sim {
namespace {

// The sixteen bytes that open each channel's page of a table: four marker bytes, then the text.
constexpr std::uint8_t kDefectMark[] = {0xE9, 0x86, 0xAA, 0x55};
constexpr std::uint8_t kEarlyMark[] = {0x45, 0x79, 0xAA, 0x55};
constexpr std::uint8_t kLaterBadMark[] = {0xE8, 0xDC, 0x55, 0xAA};
constexpr std::uint8_t kRemapMark[] = {0x9E, 0x68, 0x55, 0xAA};
constexpr const char* kTableText = "VTFK3X-V001";

constexpr std::uint16_t kDefectCe = 0xA0FB, kDefectEnd = 0xD1FE;
constexpr std::uint16_t kEarlyCe = 0xFB00, kEarlyEnd = 0xFE00;
constexpr std::uint16_t kRemapCe = 0xEBA0, kRemapPlane = 0xEAE0, kRemapEnd = 0xEED1;

// A system page image holds one page per channel for the even block of the unit, then, 8 pages
// further on, the pages of the odd block.
constexpr std::uint32_t kChannelSlots = 8;

using PageKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;

Bytes TablePage(std::span<const std::uint8_t> mark) {
    Bytes page(mark.begin(), mark.end());
    PutText(page, 4, kTableText);
    page.resize(16, 0);
    return page;
}

std::uint32_t Ces(const DriveDescription& d) {
    return d.banks * d.flash.dies_per_ce;
}

bool BlockMode(const DriveDescription& d) {
    return (d.table_flags & 0x04) != 0;
}

Bytes DefectPage(const DriveDescription& d, std::uint32_t channel) {
    Bytes page = TablePage(kDefectMark);
    for (std::uint32_t ce = 0; ce < Ces(d); ++ce) {
        std::map<std::uint32_t, std::uint8_t> units;  // unit -> bit 0 even block bad, bit 1 odd
        std::vector<std::uint32_t> blocks;
        for (const auto& bad : d.factory_bad) {
            if (bad.channel != channel || bad.ce != ce) continue;
            blocks.push_back(bad.block);
            units[bad.block / 2] |= (bad.block & 1) ? 2 : 1;
        }
        if (blocks.empty()) continue;
        const std::size_t marker = page.size();
        PutLe16(page, marker, kDefectCe);
        page.resize(marker + 4, 0);
        page[marker + 2] = static_cast<std::uint8_t>(ce);
        if (BlockMode(d)) {
            std::sort(blocks.begin(), blocks.end());
            for (const auto block : blocks) {
                const std::size_t at = page.size();
                PutLe16(page, at, static_cast<std::uint16_t>(block));
                page.resize(at + 4, 0);
            }
            continue;
        }
        for (const auto& [unit, which] : units) {
            const std::size_t at = page.size();
            PutLe16(page, at, static_cast<std::uint16_t>(unit));
            page.resize(at + 4, 0);
            // Which block of the unit: 0 the odd one, 1 the even one, 2 both.
            page[at + 2] = which == 2 ? 0 : which == 1 ? 1 : 2;
        }
    }
    const std::size_t end = page.size();
    PutLe16(page, end, kDefectEnd);
    page.resize(end + 4, 0);
    return page;
}

Bytes EarlyPage(const DriveDescription& d, std::uint32_t channel) {
    Bytes page = TablePage(kEarlyMark);
    for (std::uint32_t ce = 0; ce < Ces(d); ++ce) {
        std::set<std::uint32_t> units;
        for (const auto& bad : d.early_bad) {
            if (bad.channel == channel && bad.ce == ce) units.insert(bad.unit);
        }
        if (units.empty()) continue;
        PutLe16(page, page.size(), static_cast<std::uint16_t>(kEarlyCe | ce));
        for (const auto unit : units)
            PutLe16(page, page.size(), static_cast<std::uint16_t>(unit & 0x7FFF));
    }
    PutLe16(page, page.size(), kEarlyEnd);
    return page;
}

std::vector<Remap> RemapsOf(const DriveDescription& d) {
    std::vector<Remap> remaps = d.remaps;
    for (const auto& later : d.later_bad) {
        if (later.remap_to)
            remaps.push_back({later.channel, later.ce, later.plane, later.unit, *later.remap_to});
    }
    return remaps;
}

Bytes RemapPage(const DriveDescription& d, std::uint32_t channel) {
    Bytes page = TablePage(kRemapMark);
    const auto remaps = RemapsOf(d);
    const auto record = [&](std::uint32_t a, std::uint32_t b) {
        const std::size_t at = page.size();
        PutLe16(page, at, static_cast<std::uint16_t>(a));
        PutLe16(page, at + 2, static_cast<std::uint16_t>(b));
    };
    for (std::uint32_t ce = 0; ce < Ces(d); ++ce) {
        record(kRemapCe, ce);
        for (std::uint32_t plane = 0; plane < 2; ++plane) {
            record(kRemapPlane, plane);
            for (const auto& remap : remaps) {
                if (remap.channel == channel && remap.ce == ce && remap.plane == plane) {
                    record(remap.unit, remap.to);
                }
            }
        }
    }
    record(kRemapEnd, 0);
    return page;
}

Bytes SystemPage() {
    Bytes page;
    PutText(page, 0, "SYSP");
    PutText(page, 4, kTableText);
    page.resize(64, 0);
    PutLe32(page, 16, 0x00010000);  // table version
    return page;
}

void PutChannelPage(SparseBytes& image, const DriveDescription& d, std::uint32_t block,
                    std::uint32_t channel, std::span<const std::uint8_t> page) {
    const std::uint64_t page_size = std::uint64_t{d.flash.sectors_per_page} * 512;
    const std::uint64_t slot = (block & 1) * kChannelSlots + channel;
    image.Write(slot * page_size, page.first(std::min<std::size_t>(page.size(), page_size)));
}

// Later-bad entries of one channel and CE index: the older page of the table holds the first half.
Bytes LaterBadPage(const DriveDescription& d, std::uint32_t channel, std::uint32_t ce, bool older) {
    std::vector<const LaterBad*> entries;
    for (const auto& later : d.later_bad) {
        if (later.channel == channel && later.ce == ce) entries.push_back(&later);
    }
    if (older) entries.resize((entries.size() + 1) / 2);
    Bytes page = TablePage(kLaterBadMark);
    PutLe16(page, 16, static_cast<std::uint16_t>(entries.size()));
    page.resize(32, 0);
    for (const auto* later : entries) {
        const std::size_t at = page.size();
        PutLe16(page, at, static_cast<std::uint16_t>(later->unit));
        page.push_back(later->type);
        page.push_back(0);
    }
    return page;
}

void BuildLaterBadPages(const DriveDescription& d, const UnitMap& units, DriveConfig& config) {
    std::size_t most = 0;
    for (std::uint32_t c = 0; c < d.channels; ++c) {
        for (std::uint32_t ce = 0; ce < Ces(d); ++ce) {
            std::size_t n = 0;
            for (const auto& later : d.later_bad) n += later.channel == c && later.ce == ce;
            most = std::max(most, n);
        }
    }
    // The table grows page by page: with more than one entry an older, shorter page precedes it.
    const std::uint32_t pages = most > 1 ? 2 : 1;
    for (std::uint32_t ce = 0; ce < Ces(d); ++ce) {
        const std::uint32_t block =
            units.UnitToBlock(ce == 0 ? d.later_bad_units[0] : d.later_bad_units[1]);
        const std::uint32_t unit = units.BlockToUnit(block);
        for (std::uint32_t n = 1; n <= pages; ++n) {
            SparseBytes& image = config.system_pages[PageKey{ce, unit, n}];
            for (std::uint32_t c = 0; c < d.channels; ++c) {
                PutChannelPage(image, d, block, c, LaterBadPage(d, c, ce, n < pages));
            }
        }
    }
}

void BuildLoaderPages(const DriveDescription& d, DriveConfig& config) {
    const Bytes loader = BuildLoaderBlock(d, true);
    for (std::uint32_t block = 0; block < 2; ++block) {
        for (std::uint32_t c = 0; c < d.channels; ++c) {
            config.flash_pages[{c, 0, block, 0}] = loader;
        }
    }
}

}  // namespace

UnitMap::UnitMap(const DriveDescription& d)
    : toshiba_(d.flash.vendor == 2 && !d.config_bit5),
      units_per_die_(std::max<std::uint32_t>(1, d.flash.blocks_per_ce / 2 / d.flash.dies_per_ce)) {}

std::uint32_t UnitMap::BlockToUnit(std::uint32_t block) const {
    if (!toshiba_) return (block / 2) & 0xFFFF;
    const std::uint32_t u = units_per_die_;
    return ((block / (2 * u)) * u + block % (2 * u)) & 0xFFFF;
}

std::uint32_t UnitMap::UnitToBlock(std::uint32_t unit) const {
    if (!toshiba_) return (unit * 2) & 0xFFFF;
    const std::uint32_t u = units_per_die_;
    return ((unit / u) * 2 * u + 2 * (unit % u)) & 0xFFFF;
}

void BuildSystemPages(const DriveDescription& d, DriveConfig& config) {
    const UnitMap units(d);
    const Bytes loader = BuildLoaderBlock(d, true);
    const Bytes erased(loader.size(), 0xFF);
    for (std::size_t i = 0; i < d.system_blocks.size(); ++i) {
        const std::uint32_t block = d.system_blocks[i];
        const bool stale = std::find(d.stale_system_blocks.begin(), d.stale_system_blocks.end(),
                                     i) != d.stale_system_blocks.end();
        // Page 0 is addressed by the block's unit, pages 1-4 by the unit the block maps to.
        PutChannelPage(config.system_pages[PageKey{0, block >> 1, 0}], d, block, 0,
                       stale ? erased : loader);
        if (stale) continue;
        const std::uint32_t unit = units.BlockToUnit(block);
        for (std::uint32_t c = 0; c < d.channels; ++c) {
            PutChannelPage(config.system_pages[PageKey{0, unit, 1}], d, block, c, DefectPage(d, c));
            PutChannelPage(config.system_pages[PageKey{0, unit, 2}], d, block, c, EarlyPage(d, c));
            PutChannelPage(config.system_pages[PageKey{0, unit, 3}], d, block, c, RemapPage(d, c));
            PutChannelPage(config.system_pages[PageKey{0, unit, 4}], d, block, c, SystemPage());
        }
    }
    BuildLaterBadPages(d, units, config);
    BuildLoaderPages(d, config);
}

void BuildBadUnitLists(const DriveDescription& d, DriveConfig& config) {
    if (d.model == "K12") {
        // One list for the whole drive: each unit with its error type and where it is bad.
        const bool per_bank = d.fw_variant == "00";
        std::map<std::pair<std::uint32_t, std::uint8_t>, std::array<std::uint8_t, 16>> units;
        for (const auto& later : d.later_bad) {
            auto& masks = units[{later.unit, later.type}];
            const std::uint32_t slot = per_bank ? later.ce % 4 : later.ce;
            masks[slot] = static_cast<std::uint8_t>(masks[slot] | 1u << later.channel);
        }
        Bytes list;
        PutLe16(list, 0, static_cast<std::uint16_t>(units.size()));
        list.resize(4, 0);
        for (const auto& [key, masks] : units) {
            list.push_back(static_cast<std::uint8_t>(key.first >> 8));
            list.push_back(static_cast<std::uint8_t>(key.first));
            list.push_back(key.second);
            list.insert(list.end(), masks.begin(), masks.begin() + (per_bank ? 4 : 16));
        }
        config.bad_unit_lists[{0, 0}] = list;
        return;
    }
    for (std::uint32_t c = 0; c < d.channels; ++c) {
        for (std::uint32_t ce = 0; ce < Ces(d); ++ce) {
            std::vector<std::uint32_t> units;
            for (const auto& early : d.early_bad) {
                if (early.channel == c && early.ce == ce) units.push_back(early.unit);
            }
            for (const auto& later : d.later_bad) {
                if (later.channel == c && later.ce == ce &&
                    std::find(units.begin(), units.end(), later.unit) == units.end()) {
                    units.push_back(later.unit);
                }
            }
            Bytes list(8, 0);
            PutLe16(list, 4, static_cast<std::uint16_t>(units.size()));
            for (const auto unit : units) {
                const std::size_t at = list.size();
                PutLe16(list, at, static_cast<std::uint16_t>(unit));
                list.resize(at + 4, 0);
            }
            config.bad_unit_lists[{c, ce}] = list;
        }
    }
}

std::uint32_t WearOf(const DriveDescription& d, std::uint32_t channel, std::uint32_t ce,
                     std::uint32_t block) {
    std::uint32_t h =
        d.seed * 0x9E3779B9u ^ (channel * 0x85EBCA6Bu) ^ (ce * 0xC2B2AE35u) ^ (block * 0x27D4EB2Fu);
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    const std::uint32_t span = 2 * d.wear_spread + 1;
    const std::int64_t value =
        std::int64_t{d.wear_average} + std::int64_t{h % span} - d.wear_spread;
    return static_cast<std::uint32_t>(std::max<std::int64_t>(0, value));
}

void BuildEraseCounts(const DriveDescription& d, DriveConfig& config) {
    // Looked up once per block of the drive: a million blocks and thousands of bad ones.
    std::set<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> bad_blocks;
    for (const auto& bad : d.factory_bad) bad_blocks.emplace(bad.channel, bad.ce, bad.block);
    const auto factory_bad = [&](std::uint32_t c, std::uint32_t ce, std::uint32_t block) {
        return bad_blocks.contains({c, ce, block});
    };
    if (d.model == "K12") {
        // One table of 32-bit counts, within the 64 sectors the host reads.
        const std::uint32_t n = std::min<std::uint32_t>(d.flash.blocks_per_ce, (32768 - 4) / 4);
        Bytes table;
        PutLe16(table, 0, static_cast<std::uint16_t>(n));
        for (std::uint32_t b = 0; b < n; ++b) {
            PutLe32(table, 4 + 4 * b, factory_bad(0, 0, b) ? 0xFFFFFFFFu : WearOf(d, 0, 0, b));
        }
        config.erase_counts[{0, 0}] = table;
        return;
    }
    if (d.model == "K14") {
        const std::uint32_t n = std::min<std::uint32_t>(d.flash.blocks_per_ce, (32768 - 4) / 2);
        for (std::uint32_t t = 0; t < Ces(d); ++t) {
            Bytes table;
            PutLe16(table, 0, static_cast<std::uint16_t>(n));
            for (std::uint32_t b = 0; b < n; ++b) {
                PutLe16(
                    table, 4 + 2 * b,
                    factory_bad(0, t, b) ? 0xFFFF : static_cast<std::uint16_t>(WearOf(d, 0, t, b)));
            }
            config.erase_counts[{0, t}] = table;
        }
        return;
    }
    const std::uint32_t n = d.flash.blocks_per_ce;
    for (std::uint32_t c = 0; c < d.channels; ++c) {
        for (std::uint32_t ce = 0; ce < Ces(d); ++ce) {
            Bytes table(8, 0);
            PutLe16(table, 4, static_cast<std::uint16_t>(n));
            for (std::uint32_t b = 0; b < n; ++b) {
                PutLe16(table, 8 + 2 * b,
                        factory_bad(c, ce, b) ? 0xFFFF
                                              : static_cast<std::uint16_t>(WearOf(d, c, ce, b)));
            }
            config.erase_counts[{c, ce}] = table;
        }
    }
}

}  // namespace vt::sim
