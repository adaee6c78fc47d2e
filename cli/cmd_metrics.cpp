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
#include "cli/form_session.h"
#include "cli/terminal_text.h"
#include "platform/files.h"
#include "report/drive_metrics.h"
#include "report/json_document.h"
#include "report/metrics_models.h"
#include "vendor/loader_mode.h"

namespace vt::cli {
namespace {

struct MetricsOptions {
    std::string output;
};

// One drive: its row, the loader check, the refresh as a click on the row runs it, and the
// S.M.A.R.T. read its page's button runs. Failures are reported on standard error and in the
// metrics.
DriveMetrics CollectDrive(FormSession& session, std::size_t row) {
    const auto& cells = session.record().rows[row].cells;
    DriveMetrics drive;
    std::string error;
    if (!session.Select(cells[0], error)) {
        Warn(error);
        return drive;
    }
    const bool loader = IsLoaderMode(session.device());
    session.Refresh();
    if (!loader) session.form().GetSmartInfoBnClick();
    auto messages = session.TakeMessages();
    // The scan reads an IDE or SCSI drive's identity with ATA PASS-THROUGH(16), which the kernel
    // refuses to a process without CAP_SYS_RAWIO while it lets the other reads pass: the drive
    // would be published as read, only without model and serial.
    const int kind = DriveInfoOf(session.device()).InterfaceKind;
    if (kind == DEVICE_IDE || kind == DEVICE_SCSI) {
        if (auto refused = CheckDeviceAccess(session.path())) messages.push_back(*refused);
    }
    drive = DriveMetricsOf(session.identity(), session.form().models(), loader);
    drive.read_ok = messages.empty() && drive.read_ok;
    for (const auto& message : messages) Warn("disk " + cells[0] + ": " + message);
    return drive;
}

int RunMetrics(const GlobalOptions& global, const MetricsOptions& options) {
    std::string backend_error;
    if (!InstallBackend(global, backend_error))
        return ReportFailure(global.json, backend_error, kExitUsage);
    const auto started = std::chrono::steady_clock::now();
    FormSession session;
    MetricsCollection collection;
    int status = kExitOk;
    for (const auto& notice : session.record().notices) {
        Warn(notice);
        status = kExitNoDevice;
    }
    for (std::size_t row = 0; row < session.record().rows.size(); ++row) {
        collection.drives.push_back(CollectDrive(session, row));
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

void AddMetricsCommand(CLI::App& app, const GlobalOptions& options, int& exit_status) {
    auto metrics_options = std::make_shared<MetricsOptions>();
    auto* command = app.add_subcommand(
        "metrics", "Every drive's wear, bad blocks and S.M.A.R.T. values as Prometheus metrics");
    command->add_option("--output", metrics_options->output,
                        "Write them to FILE, replacing it at once (for the node exporter's "
                        "textfile collector); - is standard output");
    command->callback([&options, &exit_status, metrics_options] {
        exit_status = RunMetrics(options, *metrics_options);
    });
}

}  // namespace vt::cli
