// `vtutil capture`: reads a drive the way the window reads it (the refresh with every page, the
// S.M.A.R.T. page, the firmware log) through the recording layer and writes the answers as one
// bench file that any bench-aware command opens in the drive's place.

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "access/device_tables.h"
#include "capture/recorder.h"
#include "capture/redact.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/form_session.h"
#include "cli/terminal_text.h"
#include "pages/refresh_state.h"
#include "platform/backend.h"
#include "platform/files.h"
#include "report/json_document.h"
#include "report/page_json.h"
#include "vendor/code_loading.h"

namespace vt::cli {
namespace {

using capture::CaptureRecorder;
using capture::DriveRecording;
using capture::RecordedMode;

struct CaptureOptions {
    std::string device;
    std::string output;
    std::string gdp;
    bool redact = false;
    bool json = false;
};

void Progress(const std::string& text) {
    Warn(text);
}

// A directory of its own for the program's files (settings, the code image), so the capture reads
// the same whatever lies beside the executable; removed on every path out.
class ScratchDirectory {
  public:
    ScratchDirectory() : path_(platform::MakePrivateTemporaryDirectory("vtutil-capture-")) {}
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Puts the recorder in front of the backend in use and takes it out again on every path out.
class ScopedRecorder {
  public:
    ScopedRecorder() {
        platform::Current();  // the real backend is made on first use; wrap it, not nothing
        auto recorder = std::make_unique<CaptureRecorder>(platform::Install(nullptr));
        recorder_ = recorder.get();
        platform::Install(std::move(recorder));
    }
    ~ScopedRecorder() {
        auto inner = recorder_->TakeInner();
        platform::Install(std::move(inner));
    }
    ScopedRecorder(const ScopedRecorder&) = delete;
    ScopedRecorder& operator=(const ScopedRecorder&) = delete;
    CaptureRecorder& operator*() { return *recorder_; }
    CaptureRecorder* operator->() { return recorder_; }

  private:
    CaptureRecorder* recorder_ = nullptr;
};

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

// The raw keys the recording does not say by itself: the bus, the bridge, the start mode and
// the INQUIRY answers by the mode they came in.
sim::RawDrive Complete(const DriveRecording& recording, const std::string& bus, bool older) {
    sim::RawDrive raw = recording.raw;
    raw.bus = bus;
    if (bus == "usb" || bus == "sbp2") raw.bridge = older ? "older" : "supported";
    // Whether the controller takes the vendor protocol is known only once something asked it.
    if (recording.vendor_answered || recording.vendor_asked) raw.vendor = recording.vendor_answered;
    if (recording.initial_mode == RecordedMode::Loader) raw.mode = "loader";
    for (const auto& [mode, answer] : recording.inquiries) {
        const bool loader =
            older && (mode == RecordedMode::Loader || mode == RecordedMode::Program);
        auto& slot = loader ? raw.loader_inquiry : raw.inquiry;
        // Answers differ only in how much was asked for: the longest holds them all.
        if (!slot || slot->size() <= answer.size()) slot = answer;
    }
    return raw;
}

// A disk of the enumeration by its path or node, whether or not the scan listed it.
std::optional<platform::DiskEntry> EnumeratedDisk(const std::string& name) {
    for (const auto& disk : platform::Current().ListDisks()) {
        if (disk.path == name || disk.node == name) return disk;
    }
    return std::nullopt;
}

bool ScannedAsOlderBridge(const std::string& path) {
    for (unsigned n = 0; n < kMaxDevices; ++n) {
        if (DriveInfoOf(n).Path == path) return EntryOf(n).DirectVendorCdb != 0;
    }
    return false;
}

void ShowMessages(FormSession& session) {
    for (const auto& message : session.TakeMessages()) Progress("the window says: " + message);
}

// The refresh with its pages, the S.M.A.R.T. page and, for a drive in its loader given a code
// image, the firmware log from the serial flash: in the order a technician clicks them.
void ReadAsTheWindowDoes(FormSession& session, CaptureRecorder& recorder, const std::string& path,
                         const std::string& gdp) {
    Progress("capturing " + path + ": the pages");
    session.Refresh();
    ShowMessages(session);
    Progress("capturing " + path + ": S.M.A.R.T.");
    session.form().Click("GetSmartInfoBn");
    ShowMessages(session);
    const DriveRecording* recording = recorder.Recording(platform::NodeOfPath(path));
    if (recording == nullptr || recording->initial_mode != RecordedMode::Loader) {
        if (!gdp.empty()) Progress("the drive runs its firmware: --gdp is not needed, not used");
        return;
    }
    if (gdp.empty()) {
        Progress("the drive runs its loader: give --gdp FILE to capture its firmware log");
        return;
    }
    Progress("capturing " + path + ": the loader's firmware log through " + gdp);
    recorder.AllowCodeLoad(true);
    session.form().Click("ReadFwDebugMsgGDP");
    recorder.AllowCodeLoad(false);
    ShowMessages(session);
}

// `failure`: the reason a capture that did not end with 0 gave up, for the JSON error document.
int RunCapture(const GlobalOptions& global, const CaptureOptions& options, std::string& failure) {
    const auto fail = [&failure](const std::string& message, int status) {
        Progress(message);
        failure = message;
        return status;
    };
    if (options.output == "-" && (options.json || global.json))
        return fail(
            "the bench file and the JSON document cannot share standard output: name a "
            "file with -o",
            kExitUsage);
    if (!InstallBackend(global, failure)) {
        Progress(failure);
        return kExitUsage;
    }
    const ScratchDirectory program_dir;
    if (program_dir.path().empty()) {
        return fail(std::string("cannot make a temporary directory: ") + std::strerror(errno),
                    kExitFileError);
    }
    if (!options.gdp.empty()) {
        // The loader takes the first 128 KiB, as it does from the program's directory.
        std::string error;
        bool cut = false;
        const auto image = platform::ReadFileHead(options.gdp, kCodeImageSize, error, cut);
        if (!image) return fail("cannot read the code image: " + error, kExitFileError);
        if (!platform::ReplaceFile(GdpPathIn(program_dir.path()), *image, error))
            return fail("cannot copy the code image " + options.gdp + ": " + error, kExitFileError);
    }

    ScopedRecorder recorder;
    FormSession session({}, program_dir.path());
    std::string error;
    std::string path;
    bool older_bridge = false;
    if (session.Select(options.device, error)) {
        path = DriveInfoOf(session.device()).Path;
        older_bridge = EntryOf(session.device()).DirectVendorCdb != 0;
        ReadAsTheWindowDoes(session, *recorder, path, options.gdp);
    } else if (const auto disk = EnumeratedDisk(options.device)) {
        // A disk the list leaves out (another maker's, an older bridge's) is read by the scan only.
        path = disk->path;
        older_bridge = ScannedAsOlderBridge(path);
        Progress(path + " is not in the drive list: the capture holds what the scan read");
    } else {
        return fail(error, kExitNoDevice);
    }
    const std::string node = platform::NodeOfPath(path);
    const DriveRecording* recording = recorder->Recording(node);
    if (recording == nullptr || recording->answers == 0) {
        return fail("nothing could be read from " + path, kExitCommandFailed);
    }
    for (const auto& refused : recording->refused)
        Progress("not sent, as it would change the drive: " + refused);

    sim::RawDrive raw = Complete(*recording, platform::BusOfPath(path), older_bridge);
    if (options.redact) capture::RedactSerials(raw);

    nlohmann::ordered_json document;
    document["comment"] = std::string("captured by vtutil ") + kToolVersion + " on " + UtcNow() +
                          " from " + path + (options.redact ? ", serial numbers redacted" : "");
    document["drives"] = nlohmann::ordered_json::array({sim::RawDriveJson(raw)});
    const std::string text = document.dump(1) + "\n";
    if (!platform::ReplaceFile(options.output,
                               {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                               error, platform::OutputTarget::FileOrStream))
        return fail(error, kExitFileError);
    Progress(std::to_string(recording->answers) + " answers and " +
             std::to_string(recording->failures) + " failed commands written to " +
             (options.output == "-" ? "standard output" : options.output));
    return kExitOk;
}

}  // namespace

void AddCaptureCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status) {
    auto capture = std::make_shared<CaptureOptions>();
    auto* command = commands.Add(
        "capture", "Read a drive as the window does and write its answers as a bench file");
    if (!command) return;
    command
        ->add_option("DEVICE", capture->device, "The number in the Disk column, or the device path")
        ->required();
    command
        ->add_option("-o,--output", capture->output,
                     "The bench file to write (- for standard output)")
        ->required();
    command->add_option("--gdp", capture->gdp,
                        "Code image for the firmware log of a drive in its loader");
    command->add_flag("--redact", capture->redact, "Replace the serial numbers by a placeholder");
    command->add_flag("--json", capture->json, "One JSON document: the file written, or the error");
    command->callback([&options, &exit_status, capture] {
        std::string failure;
        exit_status = RunCapture(options, *capture, failure);
        if (!capture->json && !options.json) return;
        if (exit_status != kExitOk) {
            PrintErrorDocument(failure, exit_status);
            return;
        }
        auto document = JsonDocument();
        document["capture"] = {{"file", JsonText(capture->output)}, {"redacted", capture->redact}};
        PrintJson(document);
    });
}

}  // namespace vt::cli
