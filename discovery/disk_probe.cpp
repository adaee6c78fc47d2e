#include "discovery/disk_probe.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <span>

#include "access/ata_passthrough.h"
#include "access/ata_strings.h"
#include "access/device_tables.h"
#include "access/disk_enumeration.h"
#include "discovery/bridge_identification.h"
#include "discovery/device_scan.h"
#include "vendor/carrier.h"
#include "vendor/catalogue.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

// The probe examines one disk at a time in this slot, as the scan does; the scan that follows
// rewrites the tables.
constexpr unsigned kProbeSlot = 0;

// An INQUIRY string: up to its first zero byte, trimmed.
std::string Text(std::span<const std::uint8_t> bytes) {
    std::string text(bytes.begin(), bytes.end());
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    return TrimDisplay(text);
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
    report.model = TrimDisplay(AtaString(identify, 54, 40));
    report.serial = TrimDisplay(AtaString(identify, 20, 20));
    report.firmware = TrimDisplay(AtaString(identify, 46, 8));
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

}  // namespace

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
        report.reason = *problem;
        report.cannot_open = true;
        return report;
    }
    SetUpEntry(kProbeSlot, path, kind.kind);
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

}  // namespace vt
