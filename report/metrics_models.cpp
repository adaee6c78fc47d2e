#include "report/metrics_models.h"

#include "ctrl/flash_config.h"
#include "pages/refresh_state.h"

namespace vt {
namespace {

EraseCountMetrics EraseCountsOf(const EraseCountPage& page) {
    EraseCountMetrics e;
    e.has_summary = page.has_summary;
    e.average = page.average;
    e.maximum = page.maximum;
    for (const std::uint32_t count : page.grid.counts) {
        if (count != kNoEraseCount) e.per_block.Observe(count);
    }
    return e;
}

BadBlockMetrics BadBlocksOf(const BadBlocksModel& model) {
    BadBlockMetrics b;
    b.blocks_per_unit = model.block_mode ? 1 : 2;
    const auto& counts = model.detail.counts;
    for (unsigned e = 0; e < model.banks; ++e) {
        for (unsigned c = 0; c < model.channels; ++c) {
            const BadBlockTally t = TallyOf(counts.Row(c, e));
            BadBlockPlace p;
            p.channel = c;
            p.ce = e;
            p.factory_early = t.factory_early;
            p.factory_later = t.factory_later;
            p.system_early = t.system_early;
            p.system_later = static_cast<std::uint32_t>(t.system_later);
            p.errors = {t.ecc_over, t.prog_fail, t.erase_fail, t.ecc_fail};
            b.places.push_back(p);
        }
    }
    for (const auto& entry : model.detail.entries) {
        if (entry.kind == BadBlockEntry::Kind::BadUnit && entry.remapped) ++b.remapped_units;
    }
    return b;
}

std::vector<SmartMetric> SmartOf(const SmartReport& report) {
    std::vector<SmartMetric> attributes;
    for (const auto& entry : report.data.entries) {
        if (entry.id == 0) continue;
        const char* name = SmartAttributeName(entry.id, report.variant);
        attributes.push_back(
            {entry.id, name ? name : "", entry.value, entry.worst, entry.threshold, entry.Raw48()});
    }
    return attributes;
}

}  // namespace

DriveMetrics DriveMetricsOf(const DriveIdentity& drive, const PageModels& models, bool loader) {
    DriveMetrics d;
    d.drive = drive;
    d.mode = loader ? ControllerMode::Loader : ControllerMode::Firmware;

    d.pages = {{"device_info", models.device_info.has_value()},
               {"ssd_info", models.ssd_info.has_value()},
               {"bad_blocks", models.bad_blocks.has_value()},
               {"erase_count", models.erase_count.has_value()},
               {"config_dump", models.config_dump.has_value()},
               {"smart", models.smart.has_value()}};
    if (models.ssd_info) {
        const auto& info = models.ssd_info->info;
        d.flash_type = std::string(CellTypeName(info.FlashConfig));
        if (RunsFirmwareLogView(info))
            d.pages.emplace_back("firmware_log", models.firmware_log.has_value());
    }
    d.read_ok = !loader;
    for (const auto& page : d.pages) d.read_ok = d.read_ok && page.second;
    if (models.erase_count) d.erase_counts = EraseCountsOf(*models.erase_count);
    if (models.bad_blocks) d.bad_blocks = BadBlocksOf(*models.bad_blocks);
    if (models.smart) d.smart = SmartOf(*models.smart);
    return d;
}

}  // namespace vt
