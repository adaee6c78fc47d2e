// vtutil metrics: every listed drive's identity, wear, bad blocks and S.M.A.R.T. values in the
// Prometheus text format, for the node exporter's textfile collector.

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "access/device_tables.h"
#include "access/disk_enumeration.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/terminal_text.h"
#include "discovery/device_scan.h"
#include "pages/page_reads.h"
#include "platform/backend.h"
#include "platform/files.h"
#include "report/drive_metrics.h"
#include "report/json_document.h"
#include "report/metrics_models.h"
#include "views/settings.h"

namespace vt::cli {
namespace {

struct MetricsOptions {
    std::string output;
};

// Every page the refresh reads, and the S.M.A.R.T. data its page's button reads.
constexpr Page kMetricsPages[] = {Page::DeviceInfo, Page::SsdInfo,    Page::BadBlocks,
                                  Page::EraseCount, Page::ConfigDump, Page::Smart,
                                  Page::FirmwareLog};

// One drive, held while it is read. Failures are reported on standard error and in the metrics;
// a drive busy in another process is one of them, not the end of the collection.
DriveMetrics CollectDrive(const DeviceRow& row) {
    const std::string& path = DriveInfoOf(row.device).Path;
    PageRead read;
    try {
        const platform::DriveLock hold(path);
        read = ReadPages(row.device, kMetricsPages, EnRemapRelation != 0);
    } catch (const std::exception& failure) {
        read.messages.push_back(failure.what());
    }
    // The scan reads an IDE or SCSI drive's identity with ATA PASS-THROUGH(16), which the kernel
    // refuses to a process without CAP_SYS_RAWIO while it lets the other reads pass: the drive
    // would be published as read, only without model and serial.
    const int kind = DriveInfoOf(row.device).InterfaceKind;
    if (kind == DEVICE_IDE || kind == DEVICE_SCSI) {
        if (auto refused = CheckDeviceAccess(path)) read.messages.push_back(*refused);
    }
    DriveMetrics drive =
        DriveMetricsOf(DriveIdentityOf(row, path, read.system_info ? &*read.system_info : nullptr),
                       read.models, read.loader);
    drive.read_ok = read.messages.empty() && drive.read_ok;
    for (const auto& message : read.messages) Warn("disk " + row.cells[0] + ": " + message);
    return drive;
}

int RunMetrics(const GlobalOptions& global, const MetricsOptions& options) {
    std::string backend_error;
    if (!InstallBackend(global, backend_error))
        return ReportFailure(global.json, backend_error, kExitUsage);
    const auto started = std::chrono::steady_clock::now();
    EnRemapRelation = ReadSettings(platform::ProgramDirectory()).EnRemapRelation;
    const DeviceListRecord record = ScanDevices();
    MetricsCollection collection;
    int status = kExitOk;
    for (const auto& notice : record.notices) {
        Warn(notice);
        status = kExitNoDevice;
    }
    for (const auto& row : record.rows) {
        collection.drives.push_back(CollectDrive(row));
        if (!collection.drives.back().read_ok && status == kExitOk) status = kExitCommandFailed;
    }
    collection.duration_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    collection.timestamp_seconds =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const std::string text = RenderMetrics(collection);
    std::string error;
    if (!platform::ReplaceFile(options.output.empty() ? "-" : options.output,
                               {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                               error, platform::OutputTarget::FileOrStream))
        return ReportFailure(global.json, error, kExitFileError);
    return status;
}

}  // namespace

void AddMetricsCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status) {
    auto metrics_options = std::make_shared<MetricsOptions>();
    auto* command = commands.Add(
        "metrics", "Every drive's wear, bad blocks and S.M.A.R.T. values as Prometheus metrics");
    if (!command) return;
    command->add_option("--output", metrics_options->output,
                        "Write them to FILE, replacing it at once (for the node exporter's "
                        "textfile collector); - is standard output");
    command->callback([&options, &exit_status, metrics_options] {
        exit_status = RunMetrics(options, *metrics_options);
    });
}

}  // namespace vt::cli
