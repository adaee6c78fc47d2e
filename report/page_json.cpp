#include "report/page_json.h"

#include <algorithm>

#include "access/ata_strings.h"
#include "ctrl/flash_config.h"
#include "ctrl/read_system_info.h"
#include "ctrl/table_pages.h"
#include "pages/text_format.h"
#include "report/smart_texts.h"
#include "report/ssd_info_texts.h"

namespace vt {
namespace {

template <typename T>
Json Optional(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json ModeOrNull(int mode) {
    return mode >= 0 ? Json(mode) : Json(nullptr);
}

const char* EntryKindName(BadBlockEntry::Kind kind) {
    using K = BadBlockEntry::Kind;
    switch (kind) {
        case K::EarlyBad:
            return "early_bad";
        case K::BadUnit:
            return "bad_unit";
        case K::Remap:
            return "remap";
        case K::PhysicalBlock:
            return "physical_block";
        case K::PlaneCounts:
            return "plane_counts";
        case K::RemapRelation:
            return "remap_relation";
    }
    return "";
}

// The summary's counts in the order the page shows them.
Json SummaryCounts(const BadBlockRow& row) {
    const BadBlockTally t = TallyOf(row);
    return {{"factory_early_bad", t.factory_early},
            {"factory_later_bad", t.factory_later},
            {"system_early_bad", t.system_early},
            {"system_later_bad", t.system_later},
            {"ecc_over", t.ecc_over},
            {"prog_fail", t.prog_fail},
            {"erase_fail", t.erase_fail},
            {"ecc_fail", t.ecc_fail}};
}

}  // namespace

const char* ErrorTypeKey(unsigned type) {
    switch (type) {
        case kErrTypeEccOver:
            return "ecc_over";
        case kErrTypeProgFail:
            return "prog_fail";
        case kErrTypeEraseFail:
            return "erase_fail";
        case kErrTypeEccFail:
            return "ecc_fail";
        default:
            return nullptr;
    }
}

std::string JsonText(std::string_view latin1) {
    return Latin1ToUtf8(TrimDisplay(latin1));
}

Json DeviceJson(const DriveIdentity& drive) {
    Json device;
    device["number"] = drive.number;
    device["path"] = JsonText(drive.path);
    device["bus"] = JsonText(drive.bus);
    device["interface"] = JsonText(drive.interface_name);
    device["model"] = JsonText(drive.model);
    device["serial"] = JsonText(drive.serial);
    device["firmware"] = JsonText(drive.firmware);
    return device;
}

Json ListRowJson(const DriveIdentity& drive) {
    Json r = DeviceJson(drive);
    r["capacity_bytes"] = drive.capacity_bytes;
    r["capacity_mib"] = drive.capacity_mb;
    r["capacity_gib"] = drive.capacity_mb / 1024;
    return r;
}

Json DeviceInfoJson(const DeviceInfoModel& model) {
    Json page;
    if (model.sata) {
        const auto& id = *model.sata;
        page["form"] = "sata";
        page["model"] = JsonText(id.model);
        page["serial"] = JsonText(id.serial);
        page["firmware"] = JsonText(id.firmware);
        page["heads"] = id.heads;
        page["cylinders"] = id.cylinders;
        page["sectors_per_track"] = id.sectors_per_track;
        page["chs_capacity_sectors"] = id.chs_capacity_sectors;
        page["capacity_sectors"] = id.capacity_sectors;
        page["capacity_bytes"] = id.capacity_sectors * 512;
        page["lba48"] = id.lba48;
        page["multiword_dma"] = {{"supported_max_mode", ModeOrNull(id.MultiwordDmaSupportedMode())},
                                 {"selected_mode", ModeOrNull(id.multiword_dma_selected)}};
        if (id.ultra_dma_valid) {
            page["ultra_dma"] = {{"supported_max_mode", ModeOrNull(id.UltraDmaSupportedMode())},
                                 {"selected_mode", ModeOrNull(id.ultra_dma_selected)}};
        } else {
            page["ultra_dma"] = nullptr;
        }
        page["smart"] = {{"supported", id.smart_supported}, {"enabled", id.smart_enabled}};
        page["security"] = {{"supported", id.security_supported}, {"enabled", id.security_enabled}};
        page["wwn"] = Sprintf("%016llX", static_cast<unsigned long long>(id.wwn));
    } else if (model.usb) {
        const auto& usb = *model.usb;
        page["form"] = "usb";
        page["bridge_loader"] = usb.loader;
        if (usb.inquiry_read) {
            page["capacity_mib"] = usb.capacity_mb;
            page["capacity_bytes"] = usb.capacity_bytes;
            page["capacity_sectors"] = usb.capacity_bytes / 512;
        }
        if (usb.config_read) {
            page["vendor_id"] = Sprintf("%04X", usb.vendor_id);
            page["product_id"] = Sprintf("%04X", usb.product_id);
            page["vendor_name"] = JsonText(usb.vendor_name);
            page["product_name"] = JsonText(usb.product_name);
            page["manufacturer_string"] = JsonText(usb.manufacturer_string);
            page["product_string"] = JsonText(usb.product_string);
            page["serial"] = JsonText(usb.serial);
        }
    }
    return page;
}

Json SsdInfoJson(const SsdInfoModel& model) {
    const auto& info = model.info;
    const std::size_t slot = EccThresholdSlot(info.EccMode);
    Json page;
    page["controller_model"] = JsonText(ControllerModel(info));
    page["firmware"] = JsonText(FirmwareIdentText(info.FwInfo));
    page["capacity_mib"] = model.capacity_mb;
    page["capacity_bytes"] = model.capacity_bytes;
    page["flash_config"] = info.FlashConfig;
    page["flash_type"] = JsonText(CellTypeName(info.FlashConfig));
    page["ecc_mode"] = info.EccMode;
    page["ecc_mode_name"] = JsonText(EccModeName(info.EccMode));
    page["ecc_read_threshold_bits"] = info.EccReadThreshold[slot];
    page["ecc_copy_threshold_bits"] = info.EccCopyThreshold[slot];
    page["wear_leveling_frequency"] = info.WearLevelFreq;
    if (info.FlashCopyFound) {
        const std::string model_name(
            info.FlashModel.data(),
            std::find(info.FlashModel.begin(), info.FlashModel.end(), '\0'));
        page["flash_model"] = JsonText(model_name);
        page["flash_vendor"] = JsonText(FlashVendorName(info.FlashConfig));
        page["io_drive_current"] = JsonText(IoDriveCurrentName(info.IoDriveCurrent));
        page["defect_percent"] = info.DefectPercent10 / 10.0;
        page["reserved_percent"] = info.ReservedPercent10 / 10.0;
    } else {
        page["flash_model"] = nullptr;
    }
    Json bank_map = Json::array();
    for (std::size_t bank = 0; bank < info.BankCount && bank < info.BankMap.size(); ++bank)
        bank_map.push_back(info.BankMap[bank]);
    page["bank_map"] = bank_map;
    page["features"] = {{"scramble", info.FeatureFlags[4] != 0},
                        {"remap", info.FeatureFlags[5] != 0},
                        {"trim", (info.SupportBits & 0x01) != 0},
                        {"lba48", (info.SupportBits & 0x40) != 0}};
    const std::uint64_t ce_blocks = info.BlocksPerCe;
    page["geometry"] = {{"channels", info.ChannelCount},
                        {"banks", info.BankCount},
                        {"ce_count", info.CeCount},
                        {"dies_per_ce", info.DiesPerCe},
                        {"blocks_per_ce", info.BlocksPerCe},
                        {"blocks_per_flash", ce_blocks * info.CeCount},
                        {"pages_per_block", info.PagesPerBlock},
                        {"sectors_per_page", info.SectorsPerPage},
                        {"page_bytes", std::uint32_t{info.SectorsPerPage} * 512}};
    Json tmc = Json::array(), asyn = Json::array();
    for (const auto v : info.Tmc) tmc.push_back(v);
    for (const auto v : info.AsynTmc) asyn.push_back(v);
    page["tmc"] = tmc;
    page["asyn_tmc"] = asyn;
    page["driver_setting"] = info.DriverSetting;
    return page;
}

Json EraseCountJson(const EraseCountPage& page) {
    const auto& grid = page.grid;
    Json columns = Json::array();
    for (std::size_t j = 0; j < grid.columns(); ++j) {
        const unsigned channels = grid.channels ? grid.channels : 1;
        columns.push_back({{"channel", j % channels}, {"ce", j / channels}});
    }
    Json out;
    out["columns"] = columns;
    out["blocks"] = kStreamedList;
    out["erase_count_average"] = page.has_summary ? Json(page.average) : Json(nullptr);
    out["erase_count_maximum"] = page.has_summary ? Json(page.maximum) : Json(nullptr);
    return out;
}

Json EraseCountBlockJson(const EraseCountGrid& grid, std::size_t row) {
    Json counts = Json::array(), bad = Json::array();
    for (std::size_t j = 0; j < grid.columns(); ++j) {
        const std::uint32_t v = grid.At(row, j);
        counts.push_back(v == kNoEraseCount ? Json(nullptr) : Json(v));
        if (grid.BadAt(row, j)) bad.push_back(j);
    }
    return {{"block", grid.blocks[row]}, {"counts", counts}, {"bad_columns", bad}};
}

Json BadBlocksJson(const BadBlocksModel& model) {
    const auto& detail = model.detail;
    Json summary = Json::array();
    for (unsigned e = 0; e < model.banks; ++e) {
        for (unsigned c = 0; c < model.channels; ++c) {
            Json r = {{"channel", c}, {"ce", e}};
            r["counts"] = SummaryCounts(detail.counts.Row(c, e));
            summary.push_back(r);
        }
    }
    Json entries = Json::array();
    for (const auto& entry : detail.entries) {
        Json r = {
            {"kind", EntryKindName(entry.kind)}, {"channel", entry.channel}, {"ce", entry.ce}};
        using K = BadBlockEntry::Kind;
        switch (entry.kind) {
            case K::BadUnit: {
                r["block"] = entry.block;
                r["error_type"] = entry.error_type;
                const char* name =
                    entry.error_type_known ? ErrorTypeKey(entry.error_type) : nullptr;
                r["error_type_name"] = name ? Json(name) : Json(nullptr);
                r["remapped"] = entry.remapped;
                if (entry.remapped) {
                    r["remap_block"] = entry.remap_block;
                    r["blocks"] = {entry.pair_first, entry.pair_second};
                }
                break;
            }
            case K::Remap:
                r["block"] = entry.block;
                r["plane"] = entry.plane;
                r["remap_block"] = entry.remap_block;
                break;
            case K::RemapRelation:
                r["block"] = entry.block;
                r["remap_block"] = entry.remap_block;
                break;
            case K::PlaneCounts:
                r["plane0_blocks"] = entry.plane0;
                r["plane1_blocks"] = entry.plane1;
                break;
            case K::EarlyBad:
            case K::PhysicalBlock:
                r["block"] = entry.block;
                break;
        }
        entries.push_back(r);
    }
    Json out;
    out["unit"] = model.block_mode ? "block" : "block_pair";
    out["summary"] = summary;
    out["totals"] = SummaryCounts(detail.totals);
    out["detail"] = entries;
    return out;
}

Json SmartJson(const SmartReport& report) {
    const auto& data = report.data;
    Json attributes = Json::array();
    for (const auto& entry : data.entries) {
        if (entry.id == 0) continue;
        const char* name = SmartAttributeName(entry.id, report.variant);
        Json a;
        a["id"] = entry.id;
        a["name"] = name ? Json(name) : Json(nullptr);
        a["flags"] = entry.flags;
        a["value"] = entry.value;
        a["worst"] = entry.worst;
        a["threshold"] = entry.threshold;
        a["raw"] = entry.Raw48();
        a["raw_hex"] = SmartRawText(entry);
        attributes.push_back(a);
    }
    const auto derived = SmartDerived(data);
    Json out;
    out["revision"] = {{"major", data.revision & 0xFF}, {"minor", data.revision >> 8}};
    out["attributes"] = attributes;
    out["derived"] = {
        {"power_on_hours", Optional(derived.power_on_hours)},
        {"power_cycle_count", Optional(derived.power_cycle_count)},
        {"protect_mode", Optional(derived.protect_mode)},
        {"sata_phy_error_count", Optional(derived.sata_phy_error_count)},
        {"bad_block_count", Optional(derived.bad_block_count)},
        {"total_bad_count", Optional(derived.total_bad_count)},
        {"later_bad_count", Optional(derived.later_bad_count)},
        {"erase_count", Optional(derived.erase_count)},
        {"bad_cluster_table_count", Optional(derived.bad_cluster_table_count)},
        {"unexpected_power_loss_count", Optional(derived.unexpected_power_loss_count)},
        {"temperature_celsius", Optional(derived.temperature_current)},
        {"temperature_min_celsius", Optional(derived.temperature_min)},
        {"temperature_max_celsius", Optional(derived.temperature_max)}};
    return out;
}

Json FirmwareLogJson(const FirmwareLogModel& model) {
    Json lines = Json::array();
    for (const auto& line : model.lines) lines.push_back(Latin1ToUtf8(line));
    Json out;
    out["source"] = model.from_serial_flash ? "serial_flash" : "controller_memory";
    out["ring_bytes"] = model.ring_size;
    out["start_offset"] = model.start;
    out["lines"] = lines;
    return out;
}

Json ConfigDumpJson(const ConfigDumpModel& model) {
    Json bytes = Json::array();
    for (const auto b : model.bytes) bytes.push_back(b);
    Json out;
    out["offset"] = model.first_offset;
    out["bytes"] = bytes;
    return out;
}

}  // namespace vt
