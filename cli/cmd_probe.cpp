// vtutil probe: what the tool learns about each disk and why it lists it or not.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "access/device_tables.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/form_session.h"
#include "cli/terminal_text.h"
#include "discovery/device_scan.h"
#include "discovery/disk_probe.h"
#include "platform/backend.h"
#include "report/json_document.h"
#include "views/headless_presentation.h"

namespace vt::cli {
namespace {

void PrintText(const ProbeReport& r) {
    const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
    PrintLine(r.path);
    PrintLine("  bus: " + r.bus + ", classified as " + quoted(r.interface_text));
    if (r.identify_read) {
        PrintLine("  identify: model " + quoted(r.model) + ", serial " + quoted(r.serial) +
                  ", firmware " + quoted(r.firmware) + ", rotation rate " +
                  std::to_string(r.rotation_rate));
    }
    if (r.bridge_kind >= 0) {
        PrintLine("  inquiry: vendor " + quoted(r.inquiry_vendor) + ", product " +
                  quoted(r.inquiry_product) + ", tag " + r.tag + ", bridge kind " +
                  std::to_string(r.bridge_kind));
    }
    for (const auto& note : r.notes) PrintLine("  " + note);
    PrintLine(std::string("  vendor signature: ") + (r.vendor_signature ? "answered" : "no"));
    if (r.listed) {
        PrintLine("  listed: yes");
    } else {
        PrintLine("  listed: no (" + (r.reason.empty() ? "not accepted by the scan" : r.reason) +
                  ")");
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

// The path of the listed drive a Disk column number names; empty for anything else.
std::string ListedDiskPath(const std::string& device) {
    if (device.empty() || device.find_first_not_of("0123456789") != std::string::npos) return {};
    const auto record = ScanDevices();
    const auto row = FindListedRow(record, device);
    return row ? DriveInfoOf(record.rows[*row].device).Path : std::string();
}

}  // namespace

void AddProbeCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status) {
    auto* probe = commands.Add(
        "probe", "Show what the tool learns about each disk, and why it is listed or not");
    if (!probe) return;
    static std::string device;
    static bool json = false;
    probe->add_option(
        "DEVICE", device,
        "A Disk column number, a disk path (as `vtutil list` shows it) or device node");
    probe->add_flag("--json", json, "One JSON document");
    probe->callback([&options, &exit_status] {
        if (options.json) json = true;
        std::string error;
        if (!InstallBackend(options, error)) {
            exit_status = ReportFailure(json, error, kExitUsage);
            return;
        }
        const auto disks = platform::Current().ListDisks();
        const std::string path = ListedDiskPath(device);
        std::vector<platform::DiskEntry> chosen;
        for (const auto& disk : disks) {
            if (device.empty() || disk.path == device || disk.node == device || disk.path == path)
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
            if (report.cannot_open) exit_status = kExitNoDevice;
        }
    });
}

}  // namespace vt::cli
