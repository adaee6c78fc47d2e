// vtutil rwtest: the drive's read/write self-test, unattended. It overwrites user data, so it
// runs only when asked with --yes, and never on a disk in use.

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "access/device_tables.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/form_session.h"
#include "cli/terminal_text.h"
#include "ctrl/rw_self_test.h"
#include "discovery/device_scan.h"
#include "platform/backend.h"
#include "platform/files.h"
#include "report/json_document.h"
#include "vendor/wrappers.h"
#include "views/headless_presentation.h"

namespace vt::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) {
    interrupted = 1;
}

struct RwTestOptions {
    std::string device;
    bool yes = false;
    bool json = false;
};

// The device number of a listed drive, or a free slot set up for any disk the system lists: the
// test uses standard commands only, so it needs no vendor signature.
bool ResolveDevice(const std::string& name, unsigned& device, DeviceRow& shown,
                   std::string& error) {
    const auto record = ScanDevices();
    if (const auto row = FindListedRow(record, name)) {
        device = record.rows[*row].device;
        shown = record.rows[*row];
        return true;
    }
    for (const auto& disk : platform::Current().ListDisks()) {
        if (disk.path != name && disk.node != name) continue;
        if (record.accepted >= kMaxDevices) break;
        device = record.accepted;
        // Standard commands only: none goes to a bridge as a vendor command block.
        SetUpEntry(device, disk.path, ClassifyDiskPath(disk.path).kind).DirectVendorCdb = 0;
        shown = DescribeUnlistedDisk(device);
        return true;
    }
    error = "no disk " + name + " (see `vtutil list`)";
    for (const auto& notice : record.notices) error += "\n" + notice;
    return false;
}

// What would be destroyed: the disk, its partitions and what uses them, and the sectors.
std::string Plan(unsigned device, const DeviceRow& row, std::uint64_t sectors) {
    const std::string& path = EntryOf(device).DevicePath;
    const auto use = platform::Current().DescribeUse(path);
    // The size in GiB from the one capacity read the caller made.
    const std::uint64_t gib = CapacityMBOf(sectors) / 1024;
    const auto regions = SelfTestRegions(static_cast<std::uint32_t>(gib));
    const auto known = [](const std::string& text) { return text.empty() ? "unknown" : text; };
    std::string text = "The self-test overwrites user data on " + path + ":\n";
    text += "  model " + known(row.model) + ", serial " + known(row.serial) + ", " +
            std::to_string(gib) + " GB (" + std::to_string(sectors) + " sectors)\n";
    std::string partitions;
    for (const auto& partition : use.partitions) partitions += " " + partition;
    text += "  partitions:" + (partitions.empty() ? std::string(" none") : partitions) + "\n";
    for (const auto& line : DiskUseLines(use)) text += "  " + line + "\n";
    if (use.InUse()) text += "  (while the disk is in use, the test is refused)\n";
    for (const auto region : regions) {
        const std::uint64_t base = region * kSelfTestRegionSectors;
        text += "  region " + std::to_string(region) + ": sectors " + std::to_string(base) +
                " to " + std::to_string(base + 180000) + " (20 runs of up to 128 sectors)\n";
    }
    text += "  sector 0 (filled with FFFFh words) and the last sector, " +
            std::to_string(sectors - 1) + "\n";
    return text;
}

const char* OutcomeText(SelfTestObserver::Outcome outcome) {
    using O = SelfTestObserver::Outcome;
    switch (outcome) {
        case O::Passed:
            return "passed";
        case O::CommandFailed:
            return "a drive command failed";
        case O::Mismatch:
            return "the data read back differs from the data written";
        case O::Interrupted:
            return "interrupted";
        case O::Refused:
            return "the drive's capacity does not allow the test";
        case O::InUse:
            return "the disk is in use";
    }
    return "";
}

int RunRwTest(const GlobalOptions& global, const RwTestOptions& options) {
    std::string error;
    const bool json = options.json || global.json;
    if (!InstallBackend(global, error)) return ReportFailure(json, error, kExitUsage);
    unsigned device = 0;
    DeviceRow row;
    if (!ResolveDevice(options.device, device, row, error))
        return ReportFailure(json, error, kExitNoDevice);
    const std::uint64_t sectors = GetCapacitySectors(device);
    // A drive that does not answer would otherwise be reported as one too small for the test.
    if (sectors == 0) {
        return ReportFailure(json,
                             EntryOf(device).DevicePath +
                                 " did not answer: its capacity could not be read (IDENTIFY "
                                 "DEVICE failed or timed out); nothing was written",
                             kExitCommandFailed);
    }
    if (!options.yes) {
        std::fprintf(stderr, "%s", TerminalText(Plan(device, row, sectors)).c_str());
        return ReportFailure(json, "Nothing was written. Add --yes to run the test.", kExitUsage);
    }
    const bool show_progress = platform::IsTerminal(platform::StandardStream::Error);
    SelfTestObserver observer;
    observer.progress = [show_progress](std::size_t done, std::size_t total) {
        if (show_progress) std::fprintf(stderr, "\rR/W test: %zu of %zu runs", done, total);
        return interrupted == 0;
    };
    // SIGTERM (a service manager, `timeout`) stops the test as Ctrl-C does: with its report.
    auto previous = std::signal(SIGINT, OnInterrupt);
    auto previous_term = std::signal(SIGTERM, OnInterrupt);
    std::vector<std::uint8_t> buffer(128 * 1024);
    const bool passed = RunRwSelfTest(device, buffer, &observer);
    std::signal(SIGINT, previous);
    std::signal(SIGTERM, previous_term);
    if (show_progress) std::fprintf(stderr, "\n");

    using O = SelfTestObserver::Outcome;
    if (observer.outcome == O::InUse) return ReportFailure(json, observer.refusal, kExitInUse);
    if (json) {
        auto document = JsonDocument();
        document["device"] = DeviceJson(DriveIdentityOf(row, EntryOf(device).DevicePath));
        document["passed"] = passed;
        document["outcome"] = OutcomeText(observer.outcome);
        if (!passed)
            document["stopped_at"] = {{"lba", observer.lba}, {"sectors", observer.sectors}};
        PrintJson(document);
    } else if (passed) {
        std::printf("R/W Test successfully\n");
    } else {
        std::printf("R/W Test Fail: %s at LBA %llu (%u sectors)\n", OutcomeText(observer.outcome),
                    static_cast<unsigned long long>(observer.lba), observer.sectors);
    }
    switch (observer.outcome) {
        case O::Passed:
            return kExitOk;
        case O::Mismatch:
            return kExitMismatch;
        case O::Interrupted:
            return kExitInterrupted;
        default:
            return kExitCommandFailed;
    }
}

}  // namespace

void AddRwTestCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status) {
    auto rw = std::make_shared<RwTestOptions>();
    auto* command = commands.Add("rwtest", "The read/write self-test (overwrites user data)");
    if (!command) return;
    command->add_option("DEVICE", rw->device, "The number in the Disk column, or any disk's path")
        ->required();
    command->add_flag("--yes", rw->yes,
                      "Run it: without this the test only says what it would overwrite");
    command->add_flag("--json", rw->json, "One JSON document");
    command->callback([&options, &exit_status, rw] { exit_status = RunRwTest(options, *rw); });
}

}  // namespace vt::cli
