#include "report/drive_metrics.h"

#include <deque>
#include <string_view>

#include "ctrl/table_pages.h"
#include "report/page_json.h"

namespace vt {
namespace {

constexpr const char* kPrefix = "vtutility_";

// A drive's text as a label value: trimmed and in UTF-8, as vtutil's JSON gives it.
std::string LabelText(std::string_view latin1) {
    return JsonText(latin1);
}

class Families {
  public:
    MetricFamily& Add(const std::string& name, MetricType type, const std::string& help) {
        return families_.emplace_back(kPrefix + name, type, help);
    }
    std::string Render() const {
        std::string text;
        for (const auto& family : families_) text += family.Render();
        return text;
    }

  private:
    std::deque<MetricFamily> families_;  // references to a family stay valid
};

Labels With(Labels labels, std::string name, std::string value) {
    labels.emplace_back(std::move(name), std::move(value));
    return labels;
}

}  // namespace

std::vector<double> EraseCountBuckets() {
    return {0, 10, 50, 100, 500, 1000, 2000, 3000, 5000, 10000, 30000, 100000};
}

std::string RenderMetrics(const MetricsCollection& collection) {
    Families f;
    auto& info = f.Add("drive_info", MetricType::Gauge,
                       "The drive as the device list shows it, with its controller; always 1.");
    // Its own info metric: the alerting rules look up the rated erase cycles by this label.
    auto& flash = f.Add("flash_info", MetricType::Gauge,
                        "The flash's cell type as the SSD Info page decodes it; always 1.");
    auto& read_ok = f.Add("drive_read_success", MetricType::Gauge,
                          "1 when every page of the drive was read, 0 when a read failed.");
    auto& page_ok = f.Add("drive_page_read_success", MetricType::Gauge,
                          "1 when the page was read in this collection, 0 when its read failed.");
    auto& mode = f.Add("controller_mode", MetricType::Gauge,
                       "1 for the mode the controller runs: its firmware or its loader.");
    auto& capacity = f.Add("drive_capacity_bytes", MetricType::Gauge, "The drive's capacity.");
    auto& erase_average =
        f.Add("erase_count_average", MetricType::Gauge, "Average erase count of the flash blocks.");
    auto& erase_max =
        f.Add("erase_count_max", MetricType::Gauge, "Highest erase count of a flash block.");
    auto& erase_histogram = f.Add("block_erases", MetricType::Histogram,
                                  "Erase counts of the flash blocks, one observation per block "
                                  "of every channel and CE.");
    auto& factory_bad = f.Add("factory_bad_blocks", MetricType::Gauge,
                              "Factory bad blocks (defect table) per channel and CE, by kind.");
    auto& system_bad = f.Add("system_bad_units", MetricType::Gauge,
                             "Bad units the firmware found per channel and CE: early (early "
                             "table) and later (the four error types together).");
    auto& system_errors = f.Add("system_bad_units_by_error", MetricType::Gauge,
                                "Later bad units per channel and CE by the error that made them "
                                "bad.");
    auto& unit_blocks = f.Add("system_bad_unit_blocks", MetricType::Gauge,
                              "Flash blocks in one unit of the system bad unit counts.");
    auto& remapped =
        f.Add("remapped_units", MetricType::Gauge, "Bad units the firmware replaced by a remap.");
    auto& smart_value = f.Add("smart_attribute_value", MetricType::Gauge,
                              "Normalized value of a S.M.A.R.T. attribute.");
    auto& smart_worst = f.Add("smart_attribute_worst", MetricType::Gauge,
                              "Worst normalized value of a S.M.A.R.T. attribute.");
    auto& smart_threshold = f.Add("smart_attribute_threshold", MetricType::Gauge,
                                  "Threshold of a S.M.A.R.T. attribute.");
    auto& smart_raw = f.Add("smart_attribute_raw_value", MetricType::Gauge,
                            "Raw value of a S.M.A.R.T. attribute (six bytes, little-endian).");
    auto& drives = f.Add("drives", MetricType::Gauge, "Drives the device list showed.");
    auto& duration = f.Add("collection_duration_seconds", MetricType::Gauge,
                           "Time the collection of these metrics took.");
    auto& timestamp = f.Add("collection_timestamp_seconds", MetricType::Gauge,
                            "When the collection of these metrics ended, since the epoch.");

    // The firmware's error types in the order of BadBlockPlace::errors.
    static constexpr unsigned kErrorTypes[] = {kErrTypeEccOver, kErrTypeProgFail, kErrTypeEraseFail,
                                               kErrTypeEccFail};
    for (const auto& d : collection.drives) {
        const auto& drive = d.drive;
        const std::string number = std::to_string(drive.number);
        const Labels disk{{"disk", number}};
        info.Add({{"disk", number},
                  {"path", LabelText(drive.path)},
                  {"interface", LabelText(drive.interface_name)},
                  {"model", LabelText(drive.model)},
                  {"serial", LabelText(drive.serial)},
                  {"firmware", LabelText(drive.firmware)},
                  {"controller_model", LabelText(drive.controller_model)},
                  {"controller_build", LabelText(drive.controller_build)}},
                 1);
        if (!d.flash_type.empty()) flash.Add(With(disk, "flash_type", LabelText(d.flash_type)), 1);
        read_ok.Add(disk, d.read_ok ? 1 : 0);
        for (const auto& [page, ok] : d.pages) page_ok.Add(With(disk, "page", page), ok ? 1 : 0);
        if (d.mode != ControllerMode::Unknown) {
            mode.Add(With(disk, "mode", "firmware"), d.mode == ControllerMode::Firmware ? 1 : 0);
            mode.Add(With(disk, "mode", "loader"), d.mode == ControllerMode::Loader ? 1 : 0);
        }
        capacity.Add(disk, static_cast<double>(drive.capacity_bytes));
        if (const auto& e = d.erase_counts) {
            if (e->has_summary) {
                erase_average.Add(disk, static_cast<double>(e->average));
                erase_max.Add(disk, static_cast<double>(e->maximum));
            }
            erase_histogram.Add(disk, e->per_block);
        }
        if (const auto& b = d.bad_blocks) {
            for (const auto& p : b->places) {
                const Labels place = With(With(disk, "channel", std::to_string(p.channel)), "ce",
                                          std::to_string(p.ce));
                factory_bad.Add(With(place, "kind", "early"), p.factory_early);
                factory_bad.Add(With(place, "kind", "later"), p.factory_later);
                system_bad.Add(With(place, "kind", "early"), p.system_early);
                system_bad.Add(With(place, "kind", "later"), p.system_later);
                for (std::size_t k = 0; k < p.errors.size(); ++k)
                    system_errors.Add(With(place, "error", ErrorTypeKey(kErrorTypes[k])),
                                      p.errors[k]);
            }
            unit_blocks.Add(disk, b->blocks_per_unit);
            remapped.Add(disk, static_cast<double>(b->remapped_units));
        }
        if (d.smart) {
            for (const auto& a : *d.smart) {
                const Labels attribute =
                    With(With(disk, "id", std::to_string(a.id)), "name", LabelText(a.name));
                smart_value.Add(attribute, a.value);
                smart_worst.Add(attribute, a.worst);
                smart_threshold.Add(attribute, a.threshold);
                smart_raw.Add(attribute, static_cast<double>(a.raw));
            }
        }
    }
    drives.Add({}, static_cast<double>(collection.drives.size()));
    duration.Add({}, collection.duration_seconds);
    timestamp.Add({}, collection.timestamp_seconds);
    return f.Render();
}

}  // namespace vt
