// vtutil probe: what the tool learns about each disk and why it lists it or not.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "access/ata_passthrough.h"
#include "access/device_tables.h"
#include "access/disk_enumeration.h"
#include "cli/commands.h"
#include "discovery/bridge_identification.h"
#include "discovery/device_scan.h"
#include "vendor/carrier.h"
#include "vendor/catalogue.h"
#include "vendor/wrappers.h"

namespace vt::cli {
namespace {

// The probe examines one disk at a time in this slot, as the scan does; the scan that follows
// rewrites the tables.
constexpr unsigned kProbeSlot = 0;

struct ProbeReport {
    std::string path;
    std::string bus;
    std::string interface_text;
    bool identify_read = false;
    std::string model, serial, firmware;
    int rotation_rate = -1;
    std::string inquiry_vendor, inquiry_product, tag;
    int bridge_kind = -1;
    bool vendor_signature = false;
    bool listed = false;
    std::string reason;
    std::vector<std::string> notes;
};

std::string Text(std::span<const std::uint8_t> bytes) {
    std::string text(bytes.begin(), bytes.end());
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    return TrimDisplay(text);
}

std::string AtaString(std::array<std::uint8_t, 512> data, std::size_t offset, std::size_t length) {
    SwapBytePairs(std::span(data).subspan(offset, length));
    return Text(std::span(data).subspan(offset, length));
}

void ProbeAtaDisk(ProbeReport& report) {
    std::array<std::uint8_t, 512> identify{};
    auto task_file = TaskFileFromBlock(IdentifyBlock(1));
    std::string outcome;
    if (ReadATACommandWithTimeOutValue(report.path, task_file, identify, 512, 10, &outcome) != 1) {
        report.reason = "IDENTIFY DEVICE failed: " + outcome;
        return;
    }
    report.identify_read = true;
    report.model = AtaString(identify, 54, 40);
    report.serial = AtaString(identify, 20, 20);
    report.firmware = AtaString(identify, 46, 8);
    report.rotation_rate = identify[434] | identify[435] << 8;
    if (report.rotation_rate != 1) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "rotation rate not reported as non-rotating (word 217 = %4.4Xh)",
                      report.rotation_rate);
        report.reason = text;
        return;
    }
    auto unlock = TaskFileFromBlock(UnlockBlock());
    if (WriteATACommandWithTimeOutValue(report.path, unlock, {}, 0, 10, &outcome) != 1) {
        char text[160];
        std::snprintf(text, sizeof text, "vendor unlock rejected: %serror %2.2Xh (%s)",
                      (unlock[0] & 0x04) ? "ABORTED, " : "", unlock[0], outcome.c_str());
        report.reason = text;
        return;
    }
    report.vendor_signature = CheckVendorSignature(kProbeSlot);
    if (!report.vendor_signature) {
        std::array<std::uint8_t, 512> status{};
        const bool read = VA_ReadVendorStatus(kProbeSlot, status);
        char text[128];
        if (read) {
            std::snprintf(
                text, sizeof text,
                "no vendor status signature (status sector starts %2.2X %2.2X %2.2X %2.2X)",
                status[0], status[1], status[2], status[3]);
        } else {
            std::snprintf(text, sizeof text, "the vendor status sector cannot be read");
        }
        report.reason = text;
    }
}

void ProbeUsbDisk(ProbeReport& report) {
    std::array<std::uint8_t, 512> inquiry{};
    if (VC_Inquiry(kProbeSlot, inquiry, 1) != 1) {
        report.reason = "INQUIRY failed";
        return;
    }
    report.inquiry_vendor = Text(std::span(inquiry).subspan(8, 8));
    report.inquiry_product = Text(std::span(inquiry).subspan(16, 16));
    char tag[24];
    std::snprintf(tag, sizeof tag, "%2.2X %2.2X %2.2X %2.2X", inquiry[36], inquiry[37], inquiry[38],
                  inquiry[39]);
    report.tag = tag;
    report.bridge_kind = IdentifyBridge(kProbeSlot);
    // What a plain ATA command does on this bridge tells a technician whether it passes ATA on.
    std::array<std::uint8_t, 512> identify{};
    auto task_file = TaskFileFromBlock(IdentifyBlock(1));
    std::string outcome;
    const int ata =
        ReadATACommandWithTimeOutValue(report.path, task_file, identify, 512, 10, &outcome);
    report.notes.push_back(std::string("ATA PASS-THROUGH(16) IDENTIFY: ") +
                           (ata == 1 ? "answered" : "failed: " + outcome));
    if (report.bridge_kind == kBridgeNone) {
        report.reason = "not a Vantrel bridge (INQUIRY tag " + report.tag + ")";
    } else if (!IsSupportedBridge(report.bridge_kind)) {
        report.reason = "older bridge: shown as a line of the device combo only";
    } else {
        EntryOf(kProbeSlot).DirectVendorCdb = 0;
        if (!VA_Identify(kProbeSlot, identify, 1))
            report.reason = "IDENTIFY through the bridge failed";
    }
}

ProbeReport Probe(const std::string& path, const std::string& bus) {
    ProbeReport report;
    report.path = path;
    report.bus = bus;
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto kind = ClassifyDiskPath(lower);
    report.interface_text = kind.text ? kind.text : "";
    if (auto problem = CheckDeviceAccess(path)) {
        report.reason = "no permission: run as root";
        report.notes.push_back(*problem);
        return report;
    }
    auto& entry = EntryOf(kProbeSlot);
    entry.DevicePath = path;
    entry.AtaPassThrough = kind.kind == DEVICE_IDE ? 1 : 0;
    entry.DirectVendorCdb = kind.kind == DEVICE_USB ? 1 : 0;
    CarrierMode = 2;
    if (kind.kind == DEVICE_IDE || kind.kind == DEVICE_SCSI) {
        ProbeAtaDisk(report);
    } else if (kind.kind == DEVICE_USB) {
        ProbeUsbDisk(report);
    } else {
        report.reason = "bus not examined: its path names no ide, scsi, usb or sbp2 bus";
    }
    return report;
}

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

nlohmann::json ToJson(const ProbeReport& r) {
    nlohmann::json disk = {{"path", r.path},
                           {"bus", r.bus},
                           {"interface", r.interface_text},
                           {"vendor_signature", r.vendor_signature},
                           {"listed", r.listed},
                           {"reason", r.reason},
                           {"notes", r.notes}};
    if (r.identify_read) {
        disk["identify"] = {{"model", r.model},
                            {"serial", r.serial},
                            {"firmware", r.firmware},
                            {"rotation_rate", r.rotation_rate}};
    }
    if (r.bridge_kind >= 0) {
        disk["inquiry"] = {{"vendor", r.inquiry_vendor},
                           {"product", r.inquiry_product},
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
        if (!InstallBackend(options)) {
            exit_status = kExitUsage;
            return;
        }
        const auto disks = platform::Current().ListDisks();
        std::vector<platform::DiskEntry> chosen;
        for (const auto& disk : disks) {
            if (device.empty() || disk.path == device || disk.node == device)
                chosen.push_back(disk);
        }
        if (chosen.empty()) {
            std::fprintf(stderr, "vtutil: no disk %s\n", device.empty() ? "found" : device.c_str());
            exit_status = kExitNoDevice;
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
            nlohmann::json out = {{"json_format_version", kJsonFormatVersion},
                                  {"tool_version", kToolVersion},
                                  {"disks", nlohmann::json::array()}};
            for (const auto& report : reports) out["disks"].push_back(ToJson(report));
            std::printf("%s\n", JsonText(out).c_str());
        } else {
            for (const auto& report : reports) PrintText(report);
        }
        for (const auto& report : reports) {
            if (report.reason == "no permission: run as root") exit_status = kExitNoDevice;
        }
    });
}

}  // namespace vt::cli
