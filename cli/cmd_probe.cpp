// vtutil probe: what the tool learns about each disk and why it lists it or not.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "access/device_tables.h"
#include "cli/commands.h"
#include "cli/json_document.h"
#include "discovery/device_scan.h"
#include "discovery/disk_probe.h"
#include "platform/backend.h"
#include "views/headless_presentation.h"

namespace vt::cli {
namespace {

void PrintText(const ProbeReport& r) {
    std::printf("%s\n", r.path.c_str());
    std::printf("  bus: %s, classified as \"%s\"\n", r.bus.c_str(), r.interface_text.c_str());
    if (r.identify_read) {
        std::printf("  identify: model \"%s\", serial \"%s\", firmware \"%s\", rotation rate %d\n",
                    r.model.c_str(), r.serial.c_str(), r.firmware.c_str(), r.rotation_rate);
    }
    if (r.bridge_kind >= 0) {
        std::printf("  inquiry: vendor \"%s\", product \"%s\", tag %s, bridge kind %d\n",
                    r.inquiry_vendor.c_str(), r.inquiry_product.c_str(), r.tag.c_str(),
                    r.bridge_kind);
    }
    for (const auto& note : r.notes) std::printf("  %s\n", note.c_str());
    std::printf("  vendor signature: %s\n", r.vendor_signature ? "answered" : "no");
    if (r.listed) {
        std::printf("  listed: yes\n");
    } else {
        std::printf("  listed: no (%s)\n",
                    r.reason.empty() ? "not accepted by the scan" : r.reason.c_str());
    }
}

Json ToJson(const ProbeReport& r) {
    Json notes = Json::array();
    for (const auto& note : r.notes) notes.push_back(Latin1ToUtf8(note));
    Json disk = {{"path", JsonText(r.path)},
                 {"bus", JsonText(r.bus)},
                 {"interface", JsonText(r.interface_text)},
                 {"vendor_signature", r.vendor_signature},
                 {"listed", r.listed},
                 {"reason", Latin1ToUtf8(r.reason)},
                 {"notes", notes}};
    if (r.identify_read) {
        disk["identify"] = {{"model", JsonText(r.model)},
                            {"serial", JsonText(r.serial)},
                            {"firmware", JsonText(r.firmware)},
                            {"rotation_rate", r.rotation_rate}};
    }
    if (r.bridge_kind >= 0) {
        disk["inquiry"] = {{"vendor", JsonText(r.inquiry_vendor)},
                           {"product", JsonText(r.inquiry_product)},
                           {"tag", r.tag},
                           {"bridge_kind", r.bridge_kind}};
    }
    return disk;
}

}  // namespace

void AddProbeCommand(CLI::App& app, const GlobalOptions& options, int& exit_status) {
    auto* probe = app.add_subcommand(
        "probe", "Show what the tool learns about each disk, and why it is listed or not");
    static std::string device;
    static bool json = false;
    probe->add_option("DEVICE", device, "A disk path (as `vtutil list` shows it) or device node");
    probe->add_flag("--json", json, "One JSON document");
    probe->callback([&options, &exit_status] {
        std::string error;
        if (!InstallBackend(options, error)) {
            exit_status = ReportFailure(json, error, kExitUsage);
            return;
        }
        const auto disks = platform::Current().ListDisks();
        std::vector<platform::DiskEntry> chosen;
        for (const auto& disk : disks) {
            if (device.empty() || disk.path == device || disk.node == device)
                chosen.push_back(disk);
        }
        if (chosen.empty()) {
            exit_status = ReportFailure(json, "no disk " + (device.empty() ? "found" : device),
                                        kExitNoDevice);
            return;
        }
        std::vector<ProbeReport> reports;
        for (const auto& disk : chosen) reports.push_back(Probe(disk.path, disk.bus));
        // The verdict is the scan's own.
        const auto record = ScanDevices();
        for (auto& report : reports) {
            for (const auto& row : record.rows) {
                if (DriveInfoOf(row.device).Path == report.path) {
                    report.listed = true;
                    report.reason.clear();
                }
            }
        }
        if (json) {
            auto out = JsonDocument();
            out["disks"] = Json::array();
            for (const auto& report : reports) out["disks"].push_back(ToJson(report));
            PrintJson(out);
        } else {
            for (const auto& report : reports) PrintText(report);
        }
        for (const auto& report : reports) {
            if (report.reason == "no permission: run as root") exit_status = kExitNoDevice;
        }
    });
}

}  // namespace vt::cli
