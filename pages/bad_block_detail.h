#pragma once
// The detailed bad block text: the unit lists with their error types and remaps, the factory bad
// blocks with their plane counts, the remap relations, and on the way the per-channel and per-CE
// counts of the summary table and the marks the erase count view brackets.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "pages/refresh_state.h"
#include "vendor/system_info.h"

namespace vt {

// Columns: 0 system early bad, 1 Erase Fail, 2 Prog Fail, 3 Ecc Fail, 4 Ecc Over, 5 factory early
// bad (defect table), 6 factory later bad.
inline constexpr std::size_t kBadBlockColumns = 7;
using BadBlockRow = std::array<std::uint32_t, kBadBlockColumns>;

// Counters for every channel and CE index the drive has (no fixed limit); counts for a place the
// drive does not have are dropped.
class BadBlockCounts {
  public:
    BadBlockCounts() = default;
    BadBlockCounts(unsigned channels, unsigned ces)
        : channels_(channels), ces_(ces), rows_(std::size_t{channels} * ces) {}

    void Add(unsigned channel, unsigned ce, std::size_t column, std::uint32_t amount = 1) {
        if (channel < channels_ && ce < ces_ && column < kBadBlockColumns) {
            rows_[std::size_t{channel} * ces_ + ce][column] += amount;
        }
    }
    void Set(unsigned channel, unsigned ce, std::size_t column, std::uint32_t value) {
        if (channel < channels_ && ce < ces_ && column < kBadBlockColumns) {
            rows_[std::size_t{channel} * ces_ + ce][column] = value;
        }
    }
    std::uint32_t At(unsigned channel, unsigned ce, std::size_t column) const {
        if (channel < channels_ && ce < ces_ && column < kBadBlockColumns) {
            return rows_[std::size_t{channel} * ces_ + ce][column];
        }
        return 0;
    }
    BadBlockRow Row(unsigned channel, unsigned ce) const {
        BadBlockRow row{};
        for (std::size_t k = 0; k < kBadBlockColumns; ++k) row[k] = At(channel, ce, k);
        return row;
    }
    unsigned channels() const { return channels_; }
    unsigned ces() const { return ces_; }

  private:
    unsigned channels_ = 0;
    unsigned ces_ = 0;
    std::vector<BadBlockRow> rows_;
};

// One line of the detail as a record, in the order of the text.
struct BadBlockEntry {
    enum class Kind {
        EarlyBad,       // a unit the early table holds
        BadUnit,        // a unit of the bad unit list with its error type, perhaps remapped
        Remap,          // a record of the remap table as the raw dump lists it
        PhysicalBlock,  // a block of the defect table (factory bad)
        PlaneCounts,    // factory bad blocks of one channel and CE per plane
        RemapRelation,  // a bad block and the block that replaces it
    };
    Kind kind = Kind::BadUnit;
    unsigned channel = 0;
    unsigned ce = 0;
    std::uint32_t block = 0;  // the unit or block the line names
    // BadUnit: the firmware's error type; known: one of the four the tool names.
    unsigned error_type = 0;
    bool error_type_known = false;
    bool remapped = false;          // BadUnit: remap_block and the two blocks of the pair are set
    std::uint32_t remap_block = 0;  // BadUnit, Remap, RemapRelation: the replacement
    std::uint32_t pair_first = 0, pair_second = 0;
    unsigned plane = 0;                    // Remap
    std::uint32_t plane0 = 0, plane1 = 0;  // PlaneCounts
};

// The summary's counts of one place, or of all, by name.
struct BadBlockTally {
    std::uint32_t factory_early = 0, factory_later = 0;  // blocks
    std::uint32_t system_early = 0;                      // units
    std::uint64_t system_later = 0;                      // units: the four error types together
    std::uint32_t ecc_over = 0, prog_fail = 0, erase_fail = 0, ecc_fail = 0;
};

inline BadBlockTally TallyOf(const BadBlockRow& row) {
    BadBlockTally t;
    t.factory_early = row[5];
    t.factory_later = row[6];
    t.system_early = row[0];
    t.system_later = std::uint64_t{row[1]} + row[2] + row[3] + row[4];
    t.ecc_over = row[4];
    t.prog_fail = row[2];
    t.erase_fail = row[1];
    t.ecc_fail = row[3];
    return t;
}

struct BadBlockDetail {
    std::string text;  // lines end with CR LF
    std::vector<BadBlockEntry> entries;
    BadBlockCounts counts;
    BadBlockRow totals{};
};

// The device's table copies (one page per channel each) and its bad-unit lists.
struct BadBlockSources {
    std::span<const std::uint8_t> defect;
    std::span<const std::uint8_t> early;
    std::span<const std::uint8_t> remap;
    // The later-bad slot 0-15 (128 KiB each), asked for only for the CE indexes the drive has.
    std::function<std::span<const std::uint8_t>(std::size_t slot)> later_bad;
    // The list of one channel and CE index (all other models) ...
    std::function<std::span<const std::uint8_t>(unsigned channel, unsigned ce)> unit_list;
    // ... and the one list of a K12 drive.
    std::function<std::span<const std::uint8_t>()> drive_unit_list;
};

// The text, counts and marks from the given sources. `remap_relation`: the EnRemapRelation
// setting. `marks` may be null.
BadBlockDetail BuildBadBlockDetail(const SystemInfoRecord& info, const BadBlockSources& sources,
                                   bool remap_relation, BadBlockMarks* marks);

// Reads the system information and the defect tables of the device, then builds the detail from
// its table buffers and the unit lists it reads into the work buffer (at least 128 KiB).
BadBlockDetail BuildBadBlockDetail(unsigned device, std::span<std::uint8_t> buffer,
                                   bool remap_relation, BadBlockMarks* marks);

}  // namespace vt
