#pragma once
// What `vtutil metrics` exports of one drive, as plain values, and the rendering of a whole
// collection in the Prometheus text format. Filled from the page models of a refresh; a part whose
// page was not read stays empty and gives no samples.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pages/drive_identity.h"
#include "report/exposition.h"

namespace vt {

// Upper bounds of the per-block erase count histogram: from a fresh drive to past the endurance of
// any NAND these controllers drive.
std::vector<double> EraseCountBuckets();

struct BadBlockPlace {
    unsigned channel = 0;
    unsigned ce = 0;
    std::uint32_t factory_early = 0, factory_later = 0;  // blocks
    std::uint32_t system_early = 0, system_later = 0;    // units
    // Units by the error that made them bad: Ecc Over, Prog Fail, Erase Fail, Ecc Fail.
    std::array<std::uint32_t, 4> errors{};
};

struct BadBlockMetrics {
    std::vector<BadBlockPlace> places;
    unsigned blocks_per_unit = 2;
    std::uint64_t remapped_units = 0;
};

struct SmartMetric {
    unsigned id = 0;
    std::string name;  // empty for an attribute the tool does not name
    unsigned value = 0, worst = 0, threshold = 0;
    std::uint64_t raw = 0;
};

struct EraseCountMetrics {
    std::uint64_t average = 0;
    std::uint64_t maximum = 0;
    bool has_summary = false;  // false: average and maximum were not computed
    Histogram per_block{EraseCountBuckets()};
};

enum class ControllerMode { Unknown, Firmware, Loader };

struct DriveMetrics {
    // The drive as the scan found it, its controller once the SSD Info page was read; texts as the
    // drive gives them (Latin-1).
    DriveIdentity drive;
    // The flash's cell type as the SSD Info page names it; empty when that page was not read.
    std::string flash_type;
    ControllerMode mode = ControllerMode::Unknown;
    // Every page the refresh reads, with whether it was read; `read_ok` for the drive as a whole.
    std::vector<std::pair<std::string, bool>> pages;
    bool read_ok = false;
    std::optional<EraseCountMetrics> erase_counts;
    std::optional<BadBlockMetrics> bad_blocks;
    std::optional<std::vector<SmartMetric>> smart;
};

struct MetricsCollection {
    std::vector<DriveMetrics> drives;
    double duration_seconds = 0;
    double timestamp_seconds = 0;  // since the epoch, when the collection ended
};

std::string RenderMetrics(const MetricsCollection& collection);

}  // namespace vt
