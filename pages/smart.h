#pragma once
// The S.M.A.R.T. page from plain bytes: the attribute entries of the data and threshold sectors
// and the attribute names with the variants the firmware's SMART table code asks for.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vt {

inline constexpr std::size_t kSmartSectorSize = 512;
inline constexpr std::size_t kSmartEntryCount = 30;
inline constexpr std::size_t kSmartEntrySize = 12;
// Where the firmware keeps its four-character SMART table code inside FwInfo.
inline constexpr std::size_t kSmartTableCodeOffset = 0x30;

struct SmartAttribute {
    std::uint8_t id = 0;  // 0: an empty entry
    std::uint16_t flags = 0;
    std::uint8_t value = 0;
    std::uint8_t worst = 0;
    std::uint8_t threshold = 0;
    std::array<std::uint8_t, 6> raw{};  // least significant first

    // Little-endian 16-bit value of raw bytes `first` and `first` + 1.
    std::uint16_t Raw16(std::size_t first) const {
        return static_cast<std::uint16_t>(raw[first] | raw[first + 1] << 8);
    }
    // The six raw bytes as one little-endian number.
    std::uint64_t Raw48() const {
        std::uint64_t value = 0;
        for (std::size_t b = raw.size(); b-- > 0;) value = value << 8 | raw[b];
        return value;
    }
};

struct SmartData {
    std::uint16_t revision = 0;
    std::array<SmartAttribute, kSmartEntryCount> entries{};
};

// Thresholds are matched to the data entries by position, not by ID. A sector shorter than 512
// bytes reads as zeros past its end; an empty threshold span gives thresholds of 0.
SmartData DecodeSmartData(std::span<const std::uint8_t> data,
                          std::span<const std::uint8_t> thresholds);

enum class SmartNameVariant { Standard, Code11, Code3001 };

// "11": a code starting with the characters 11; "3001": exactly that code.
SmartNameVariant SmartVariantOf(std::span<const std::uint8_t> table_code);
// The table code as it sits in FwInfo; a record too short for it selects the standard names.
SmartNameVariant SmartVariantOfFwInfo(std::span<const std::uint8_t> fw_info);

// nullptr for an ID the tool does not name; such an entry gets no grid row.
const char* SmartAttributeName(std::uint8_t id, SmartNameVariant variant);

// The page's model: the decoded sectors and the attribute names the firmware's table code selects.
struct SmartReport {
    SmartData data;
    SmartNameVariant variant = SmartNameVariant::Standard;
};

// The values the summary memo states, each from the first entry of its ID; nullopt: no such
// entry. The memo shows the low 16 bits of the power-on hours, power cycle and power loss counts;
// these counters are all six raw bytes (the hours pass 65535 within eight years of service).
struct SmartDerivedValues {
    std::optional<std::uint64_t> power_on_hours;
    std::optional<std::uint64_t> power_cycle_count;
    std::optional<unsigned> protect_mode;
    std::optional<unsigned> sata_phy_error_count;
    std::optional<unsigned> bad_block_count;
    std::optional<unsigned> total_bad_count;
    std::optional<unsigned> later_bad_count;
    std::optional<unsigned> erase_count;
    std::optional<unsigned> bad_cluster_table_count;
    std::optional<std::uint64_t> unexpected_power_loss_count;
    std::optional<unsigned> temperature_current;
    std::optional<unsigned> temperature_min;
    std::optional<unsigned> temperature_max;
};
SmartDerivedValues SmartDerived(const SmartData& data);

// Reads the drive's SMART data sector (into the buffer, at least one sector) and, on the paths
// that have them, its thresholds; nullopt when a read fails. `fw_info` selects the names.
std::optional<SmartReport> ReadSmartReport(unsigned device, std::span<std::uint8_t> buffer,
                                           std::span<const std::uint8_t> fw_info);

// Zeroes the power cycle, power loss and lifetime counters one by one: the message of each the
// drive did not reset, in order; empty when all were reset.
std::vector<std::string> ResetSmartCounters(unsigned device, std::span<std::uint8_t> buffer);

}  // namespace vt
