// vtutil's page commands: each opens the drive as the window does and prints what one page shows,
// or what its save button writes, as text or as one JSON document.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "access/mode_flags.h"
#include "access/raw_dump.h"
#include "cli/commands.h"
#include "cli/drive_session.h"
#include "cli/failure.h"
#include "cli/form_session.h"
#include "cli/loader_mode.h"
#include "cli/terminal_text.h"
#include "pages/page_reads.h"
#include "pages/refresh_state.h"
#include "pages/text_format.h"
#include "platform/files.h"
#include "report/drive_info_dump.h"
#include "report/heatmap.h"
#include "report/json_document.h"
#include "report/page_lines.h"
#include "report/smart_reset.h"
#include "tools/drive_info_dump.h"
#include "tools/log_decoder.h"
#include "vendor/loader_mode.h"
#include "vendor/system_info.h"
#include "views/controls.h"
#include "views/settings.h"

namespace vt::cli {
namespace {

struct PageOptions {
    std::string device;
    bool json = false;
    std::string heatmap;
    std::string svg;
    bool reset = false;
    bool yes = false;
    std::string gdp;
    LoaderUse loader = LoaderUse::None;
    std::string name;
    std::string dir;
    std::vector<Page> pages;
};

// Why a page could not be printed, and the exit status it maps to. `plain`: the message is said
// as it is (a refusal that lists what would be done), not as a failure of vtutil's.
struct PageFailure {
    std::string message;
    int exit_status = kExitCommandFailed;
    bool plain = false;
};

// What a page command prints: the page's text lines, and its model's JSON for --json.
struct PageOutput {
    std::vector<std::string> lines;
    Json data = Json::object();
    std::optional<StreamedList> streamed;  // the list data holds as kStreamedList
    int exit_status = kExitOk;             // the page was printed, but not all went well
    std::optional<PageFailure> failure;    // nothing is printed but the failure
};

PageOutput Output(std::vector<std::string> lines, Json data) {
    PageOutput out;
    out.lines = std::move(lines);
    out.data = std::move(data);
    return out;
}

PageOutput Failed(std::string message, int exit_status = kExitCommandFailed) {
    PageOutput out;
    out.failure = PageFailure{std::move(message), exit_status};
    return out;
}

// The drive and what was read of it for one page.
struct PageInput {
    const DriveSession& drive;
    PageRead& read;
    const std::string& program_dir;
    DriveIdentity identity() const {
        return drive.identity(read.system_info ? &*read.system_info : nullptr);
    }
};

using PageFunction = std::function<PageOutput(PageInput&, const PageOptions&)>;

PageOutput InfoPage(PageInput& in, const PageOptions&) {
    const auto& model = in.read.models.device_info;
    if (!model) return Failed("the drive's identity could not be read from the drive");
    // The bridge's group is printed with the window's captions of its edits.
    const CaptionOf caption = [](std::string_view control) {
        const ControlSpec* spec = FindControl(control);
        return spec ? std::string(spec->caption) : std::string();
    };
    return Output(DeviceInfoLines(*model, caption), DeviceInfoJson(*model));
}

PageOutput SsdInfoPage(PageInput& in, const PageOptions&) {
    const auto& model = in.read.models.ssd_info;
    if (!model) return Failed("the system information could not be read from the drive");
    return Output(SsdInfoLines(*model), SsdInfoJson(*model));
}

// The day a picture is drawn, for its title.
std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char date[32] = "";
    if (localtime_r(&now, &local)) std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return date;
}

PageOutput EraseCountPage(PageInput& in, const PageOptions& options) {
    PageOutput out;
    const auto& model = in.read.models.erase_count;
    if (!model) return Failed("the erase counts could not be read from the drive");
    // The pictures first: what they hold is freed before the text is copied.
    if (!options.heatmap.empty() || !options.svg.empty()) {
        HeatmapData picture;
        picture.grid = model->grid;
        const DriveIdentity drive = in.identity();
        picture.model = drive.model;
        picture.serial = drive.serial;
        picture.date = Today();
        std::string error;
        if (!options.heatmap.empty()) error = WriteHeatmapPng(picture, options.heatmap);
        if (error.empty() && !options.svg.empty()) error = WriteHeatmapSvg(picture, options.svg);
        if (!error.empty()) return Failed(error, kExitFileError);
    }
    // A drive's erase counts run to a hundred megabytes of text in either form: only the one asked
    // for is made, and the JSON rows only as they are printed.
    if (options.json) {
        out.data = EraseCountJson(*model);
        out.streamed = StreamedList{
            model->grid.blocks.size(),
            [&grid = model->grid](std::size_t row) { return EraseCountBlockJson(grid, row); }};
    } else {
        out.lines = EraseCountPageLines(*model);
    }
    return out;
}

PageOutput BadBlocksPage(PageInput& in, const PageOptions&) {
    const auto& model = in.read.models.bad_blocks;
    if (!model) return Failed("the bad block tables could not be read from the drive");
    return Output(BadBlockLines(*model), BadBlocksJson(*model));
}

// smart --reset: the counters before, the reset, the counters read again.
PageOutput ResetSmart(PageInput& in, const PageOptions& options) {
    const auto before = SmartResetCountersOf(in.read.models.smart);
    if (!options.yes) {
        PageOutput out = Failed(SmartResetRefusal(in.identity(), before, {}), kExitUsage);
        out.failure->plain = true;
        return out;
    }
    const unsigned device = in.drive.device();
    const auto failures = ResetSmartCounters(device, TransferBuffer);
    // Whatever the reset said, the report shows what the drive holds now.
    const auto after =
        SmartResetCountersOf(ReadSmartReport(device, TransferBuffer, SystemInfo.FwInfo));
    auto report = SmartResetDocument(in.identity(), before, after, failures, failures.empty());
    PageOutput out = Output(std::move(report.lines), std::move(report.data));
    if (!report.all_reset) out.exit_status = kExitCommandFailed;
    return out;
}

PageOutput SmartPage(PageInput& in, const PageOptions& options) {
    if (options.reset) return ResetSmart(in, options);
    const auto& report = in.read.models.smart;
    if (!report) return Failed("the S.M.A.R.T. data could not be read from the drive");
    return Output(SmartLines(*report), SmartJson(*report));
}

PageOutput UartLogPage(PageInput& in, const PageOptions&) {
    const auto& model = in.read.models.firmware_log;
    if (!model)
        return Failed(
            "no firmware log was read: the refresh reads it from K38 drives with build 3 only");
    return Output(FirmwareLogLines(*model), FirmwareLogJson(*model));
}

PageOutput ConfigDumpPage(PageInput& in, const PageOptions&) {
    const auto& model = in.read.models.config_dump;
    if (!model) return Failed("the controller memory could not be read");
    return Output(ConfigDumpLines(*model), ConfigDumpJson(*model));
}

PageOutput DumpInfoPage(PageInput& in, const PageOptions& options) {
    if (auto problem = WriteDriveInfoDump(in.program_dir, options.name, in.read.models);
        !problem.empty())
        return Failed(std::move(problem), kExitFileError);
    const std::string path = DriveInfoDumpPath(in.program_dir, options.name);
    PageOutput out;
    out.lines.push_back("drive information written to " + path);
    out.data["file"] = Latin1ToUtf8(path);
    return out;
}

// A log this large takes seconds to decode: decode-log says what it writes.
constexpr std::uint64_t kLargeLogBytes = std::uint64_t{16} << 20;

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

// The page printed as text, or as one JSON document about the drive.
int Print(bool json, const DriveIdentity& drive, PageOutput out) {
    if (json) {
        Json document = JsonDocument();
        document["device"] = DeviceJson(drive);
        document["page"] = std::move(out.data);
        if (out.streamed) {
            PrintJson(document, *out.streamed);
        } else {
            PrintJson(document);
        }
    } else {
        for (const auto& line : out.lines) PrintLine(line);
    }
    return out.exit_status;
}

// The status a command ends with before its page: the loader's refusal, or what the read said.
std::optional<int> EndBeforeThePage(bool json, const LoaderOutcome& loader, const PageRead& read) {
    if (loader.exit_status) {
        if (json) PrintErrorDocument(loader.reason, *loader.exit_status);
        return *loader.exit_status;
    }
    if (!read.messages.empty())
        return ReportFailure(json, Joined(read.messages), kExitCommandFailed);
    return std::nullopt;
}

// Finds the drive, reads only what the page shows, prints.
int RunPage(const GlobalOptions& global, const PageOptions& options, const PageFunction& page) {
    const bool json = options.json || global.json;
    const auto fail = [&](const std::string& message, int status) {
        return ReportFailure(json, message, status);
    };
    std::string error;
    if (!InstallBackend(global, error)) return fail(error, kExitUsage);
    DriveSession drive;
    if (!drive.Select(options.device, error)) return fail(error, kExitNoDevice);
    const std::string program_dir =
        options.dir.empty() ? platform::ProgramDirectory() : options.dir;
    EnRemapRelation = ReadSettings(program_dir).EnRemapRelation;
    // What escapes (a drive that went busy) main reports with its exit status.
    PageRead read = ReadPages(drive.device(), options.pages, EnRemapRelation != 0);
    const auto loader = HandleLoaderMode(drive.row(), options.loader, options.gdp, read);
    if (const auto stop = EndBeforeThePage(json, loader, read)) return *stop;
    PageOptions page_options = options;
    page_options.json = json;
    PageInput input{drive, read, program_dir};
    PageOutput out = page(input, page_options);
    if (out.failure) {
        if (!out.failure->plain) return fail(out.failure->message, out.failure->exit_status);
        std::fprintf(stderr, "%s\n", TerminalText(out.failure->message).c_str());
        if (json) PrintErrorDocument(out.failure->message, out.failure->exit_status);
        return out.failure->exit_status;
    }
    if (loader.loader) out.data["controller"] = "loader";
    return Print(json, input.identity(), std::move(out));
}

// raw-dump: the window's whole refresh with its raw dumps written into the directory.
int RunRawDump(const GlobalOptions& global, const PageOptions& options) {
    const bool json = options.json || global.json;
    const auto fail = [&](const std::string& message, int status) {
        return ReportFailure(json, message, status);
    };
    std::string error;
    if (!InstallBackend(global, error)) return fail(error, kExitUsage);
    FormSession session;
    if (!session.Select(options.device, error)) return fail(error, kExitNoDevice);
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    const std::string dir = options.dir.empty() ? "." : options.dir;
    std::filesystem::create_directories(dir, ec);
    if (!ec) std::filesystem::current_path(dir, ec);
    if (ec)
        return fail("cannot write the raw dumps into " + dir + ": " + ec.message(), kExitFileError);
    RawDumpEnabled = true;
    session.Refresh();
    PageRead read;
    read.messages = session.TakeMessages();
    std::filesystem::current_path(cwd, ec);
    // The refresh said what the dumps could not write; a file that failed is a file error.
    if (RawDumps().failed > 0) return fail(Joined(read.messages), kExitFileError);
    read.loader = !read.messages.empty() && IsLoaderMode(session.device());
    const auto loader = HandleLoaderMode(session.row(), LoaderUse::None, {}, read);
    if (const auto stop = EndBeforeThePage(json, loader, read)) return *stop;
    // Reached only when every dump of the refresh was written whole.
    PageOutput out;
    const auto& dumps = RawDumps();
    out.lines.push_back(std::to_string(dumps.files) + " raw dump files (" +
                        std::to_string(dumps.bytes) + " bytes) written to " + dir);
    out.data["dir"] = Latin1ToUtf8(dir);
    out.data["files"] = dumps.files;
    out.data["bytes"] = dumps.bytes;
    return Print(json, session.identity(), std::move(out));
}

// `pages`: what the command reads of the drive; none for raw-dump, which runs the whole refresh.
void AddPage(Subcommands& commands, const GlobalOptions& global, int& exit_status, const char* name,
             const char* help, std::vector<Page> pages, PageFunction page = {}) {
    auto options = std::make_shared<PageOptions>();
    options->pages = std::move(pages);
    const bool raw_dump = options->pages.empty();
    auto* command = commands.Add(name, help);
    if (!command) return;
    command
        ->add_option("DEVICE", options->device, "The number in the Disk column, or the device path")
        ->required();
    command->add_flag("--json", options->json, "One JSON document with the page's data");
    if (std::string(name) == "erase-count") {
        // Standard output carries the page.
        const auto named_file = [](const std::string& name) {
            if (std::string why = HeatmapUnavailable(); !why.empty()) return why;
            return name == "-" ? std::string("the page goes to standard output: name a file")
                               : std::string();
        };
        command
            ->add_option("--heatmap", options->heatmap,
                         "Also draw the erase counts as a PNG picture")
            ->check(named_file);
        command->add_option("--svg", options->svg, "Also draw the erase counts as an SVG picture")
            ->check(named_file);
    }
    if (std::string(name) == "smart") {
        command->add_flag("--reset", options->reset,
                          "Reset the power-on hours, power cycle and power loss counters instead "
                          "of reading; without --yes it only says what it would reset");
        command->add_flag("--yes", options->yes, "Confirm --reset");
    }
    if (std::string(name) == "info") options->loader = LoaderUse::Identify;
    if (std::string(name) == "uart-log") {
        options->loader = LoaderUse::GdpLog;
        command->add_option("--gdp", options->gdp,
                            "For a drive in its loader: load this code image (GDP.bin) and read "
                            "the log from the serial flash");
    }
    if (std::string(name) == "dump-info") {
        command->add_option("NAME", options->name, "The dump's name; it is written as NAME.txt")
            ->required()
            ->check([](const std::string& name) { return DumpNameProblem(name); });
        command->add_option("--dir", options->dir,
                            "Directory of the dump (default: the program's)");
    }
    if (raw_dump)
        command->add_option("DIR", options->dir, "Directory for the raw dump files (default: .)");
    command->callback([&global, &exit_status, options, page, raw_dump] {
        exit_status = raw_dump ? RunRawDump(global, *options) : RunPage(global, *options, page);
    });
}

}  // namespace

void AddPageCommands(Subcommands& commands, const GlobalOptions& options, int& exit_status) {
    AddPage(commands, options, exit_status, "info", "The Device Info page (IDENTIFY data)",
            {Page::DeviceInfo}, InfoPage);
    AddPage(commands, options, exit_status, "ssd-info",
            "The SSD Info page (configuration and flash geometry)", {Page::SsdInfo}, SsdInfoPage);
    AddPage(commands, options, exit_status, "erase-count", "The Erase Count page",
            {Page::EraseCount}, EraseCountPage);
    AddPage(commands, options, exit_status, "bad-blocks",
            "The Bad Block Info page: summary and detail", {Page::BadBlocks}, BadBlocksPage);
    AddPage(commands, options, exit_status, "smart", "The S.M.A.R.T. report", {Page::Smart},
            SmartPage);
    AddPage(commands, options, exit_status, "uart-log", "The firmware's UART and error logs",
            {Page::FirmwareLog}, UartLogPage);
    AddPage(commands, options, exit_status, "config-dump",
            "The configuration dump (loader block 0500h-058Fh)", {Page::ConfigDump},
            ConfigDumpPage);
    AddPage(commands, options, exit_status, "dump-info",
            "Write the drive information dump NAME.txt", {Page::DeviceInfo, Page::SsdInfo},
            DumpInfoPage);
    AddPage(commands, options, exit_status, "raw-dump",
            "Write the raw dump files of one refresh into DIR", {});

    auto decode = std::make_shared<PageOptions>();
    auto* command = commands.Add("decode-log", "Decode a log file into FILE.decode");
    if (!command) return;
    command->add_option("FILE", decode->name, "The log file")->required();
    command->add_flag("--json", decode->json, "One JSON document naming the decoded file");
    command->callback([decode, &options, &exit_status] {
        std::string error;
        const std::string output = decode->name + ".decode";
        const bool json = decode->json || options.json;
        const bool meter = platform::IsTerminal(platform::StandardStream::Error);
        bool said = false;
        const auto progress = [&](std::uint64_t done, std::uint64_t total) {
            if (total < kLargeLogBytes) return;
            if (!said) {
                Warn("decoding " + decode->name + " (" + std::to_string(total >> 20) +
                     " MiB) into " + output + "; Ctrl-C stops it and leaves " + output +
                     " as it was");
                said = true;
            } else if (meter) {
                std::fprintf(stderr, "\r%llu of %llu MiB",
                             static_cast<unsigned long long>(done >> 20),
                             static_cast<unsigned long long>(total >> 20));
            }
        };
        const bool decoded = DecodeLogFile(decode->name, output, error, progress);
        if (said && meter) std::fprintf(stderr, "\n");
        if (!decoded) {
            // Reading or writing a file, no drive involved.
            exit_status = ReportFailure(json, error, kExitFileError);
            return;
        }
        if (json) {
            Json document = JsonDocument();
            document["file"] = Latin1ToUtf8(decode->name);
            document["decoded"] = Latin1ToUtf8(output);
            PrintJson(document);
        } else {
            PrintLine(output);
        }
    });
}

}  // namespace vt::cli
