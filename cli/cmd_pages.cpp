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
#include "cli/failure.h"
#include "cli/form_session.h"
#include "cli/loader_mode.h"
#include "cli/smart_reset.h"
#include "cli/terminal_text.h"
#include "pages/text_format.h"
#include "platform/files.h"
#include "report/heatmap.h"
#include "report/json_document.h"
#include "report/page_lines.h"
#include "tools/drive_info_dump.h"
#include "tools/log_decoder.h"
#include "views/controls.h"

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
};

// What a page command prints: the page's text lines, and its model's JSON for --json.
struct PageOutput {
    std::vector<std::string> lines;
    Json data = Json::object();
    std::optional<StreamedList> streamed;  // the list data holds as kStreamedList
    int exit_status = kExitOk;             // the page was printed, but not all went well
};

PageOutput Output(std::vector<std::string> lines, Json data) {
    PageOutput out;
    out.lines = std::move(lines);
    out.data = std::move(data);
    return out;
}

// The model a page was filled from; a refresh that did not fill it is a failed command.
template <typename T>
const T& ModelOf(const std::optional<T>& model, const char* what) {
    if (!model) throw std::runtime_error(std::string(what) + " could not be read from the drive");
    return *model;
}

PageOutput InfoPage(FormSession& s, const PageOptions&) {
    const auto& model = ModelOf(s.form().models().device_info, "the drive's identity");
    // The bridge's group is printed with the window's captions of its edits.
    const CaptionOf caption = [](std::string_view control) {
        const ControlSpec* spec = FindControl(control);
        return spec ? std::string(spec->caption) : std::string();
    };
    return Output(DeviceInfoLines(model, caption), DeviceInfoJson(model));
}

PageOutput SsdInfoPage(FormSession& s, const PageOptions&) {
    const auto& model = ModelOf(s.form().models().ssd_info, "the system information");
    return Output(SsdInfoLines(model), SsdInfoJson(model));
}

// A file of the tool's own that could not be written: exit status kExitFileError.
struct FileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

PageOutput EraseCountPage(FormSession& s, const PageOptions& options) {
    PageOutput out;
    const auto& model = ModelOf(s.form().models().erase_count, "the erase counts");
    // The pictures first: what they hold is freed before the text is copied.
    if (!options.heatmap.empty() || !options.svg.empty()) {
        HeatmapData picture;
        picture.grid = model.grid;
        const DriveIdentity drive = s.identity();
        picture.model = drive.model;
        picture.serial = drive.serial;
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        char date[32] = "";
        if (localtime_r(&now, &local)) std::strftime(date, sizeof date, "%Y-%m-%d", &local);
        picture.date = date;
        std::string error;
        if (!options.heatmap.empty()) error = WriteHeatmapPng(picture, options.heatmap);
        if (error.empty() && !options.svg.empty()) error = WriteHeatmapSvg(picture, options.svg);
        if (!error.empty()) throw FileError(error);
    }
    // A drive's erase counts run to a hundred megabytes of text in either form: only the one asked
    // for is made, and the JSON rows only as they are printed.
    if (options.json) {
        out.data = EraseCountJson(model);
        out.streamed = StreamedList{
            model.grid.blocks.size(),
            [&grid = model.grid](std::size_t row) { return EraseCountBlockJson(grid, row); }};
    } else {
        out.lines = EraseCountPageLines(model);
    }
    return out;
}

PageOutput BadBlocksPage(FormSession& s, const PageOptions&) {
    const auto& model = ModelOf(s.form().models().bad_blocks, "the bad block tables");
    return Output(BadBlockLines(model), BadBlocksJson(model));
}

PageOutput SmartPage(FormSession& s, const PageOptions& options) {
    PageOutput out;
    if (options.reset) {
        if (!options.yes) RefuseSmartReset(s);
        auto report = ResetSmartCounters(s);
        out.lines = std::move(report.lines);
        out.data = std::move(report.data);
        if (!report.all_reset) out.exit_status = kExitCommandFailed;
        return out;
    }
    s.form().GetSmartInfoBnClick();
    const auto& report = ModelOf(s.form().models().smart, "the S.M.A.R.T. data");
    out.lines = SmartLines(report);
    out.data = SmartJson(report);
    return out;
}

PageOutput UartLogPage(FormSession& s, const PageOptions&) {
    PageOutput out;
    const auto& model = s.form().models().firmware_log;
    if (!model) {
        throw std::runtime_error(
            "no firmware log was read: the refresh reads it from K38 drives with build 3 only");
    }
    out.lines = FirmwareLogLines(*model);
    out.data = FirmwareLogJson(*model);
    return out;
}

PageOutput ConfigDumpPage(FormSession& s, const PageOptions&) {
    PageOutput out;
    const auto& model = s.form().models().config_dump;
    if (!model) throw std::runtime_error("the controller memory could not be read");
    out.lines = ConfigDumpLines(*model);
    out.data = ConfigDumpJson(*model);
    return out;
}

PageOutput DumpInfoPage(FormSession& s, const PageOptions& options) {
    PageOutput out;
    std::string error;
    if (!s.form().DumpSSDInfo(options.name, error)) throw FileError(error);
    const std::string path = DriveInfoDumpPath(s.form().environment().program_dir, options.name);
    out.lines.push_back("drive information written to " + path);
    out.data["file"] = Latin1ToUtf8(path);
    return out;
}

// A log this large takes seconds to decode: decode-log says what it writes.
constexpr std::uint64_t kLargeLogBytes = std::uint64_t{16} << 20;

using PageFunction = std::function<PageOutput(FormSession&, const PageOptions&)>;

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

// Opens the drive, runs the refresh (raw dumps on for raw-dump) and the page, prints.
int RunPage(const GlobalOptions& global, const PageOptions& options, const PageFunction& page,
            bool raw_dump) {
    const bool json = options.json || global.json;
    const auto fail = [&](const std::string& message, int status) {
        return ReportFailure(json, message, status);
    };
    std::string error;
    if (!InstallBackend(global, error)) return fail(error, kExitUsage);
    const std::string program_dir = raw_dump || options.dir.empty() ? std::string() : options.dir;
    FormSession session({}, program_dir);
    if (!session.Select(options.device, error)) return fail(error, kExitNoDevice);
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    if (raw_dump) {
        const std::string dir = options.dir.empty() ? "." : options.dir;
        std::filesystem::create_directories(dir, ec);
        if (!ec) std::filesystem::current_path(dir, ec);
        if (ec)
            return fail("cannot write the raw dumps into " + dir + ": " + ec.message(),
                        kExitFileError);
        RawDumpEnabled = true;
    }
    session.Refresh();
    auto refresh_messages = session.TakeMessages();
    if (raw_dump) {
        std::filesystem::current_path(cwd, ec);
        // The refresh said what the dumps could not write; a file that failed is a file error.
        if (RawDumps().failed > 0) return fail(Joined(refresh_messages), kExitFileError);
    }
    const auto loader = HandleLoaderMode(session, options.loader, options.gdp, refresh_messages);
    if (loader.exit_status) {
        if (json) PrintErrorDocument(loader.reason, *loader.exit_status);
        return *loader.exit_status;
    }
    if (!refresh_messages.empty()) return fail(Joined(refresh_messages), kExitCommandFailed);
    PageOutput out;
    PageOptions page_options = options;
    page_options.json = json;
    try {
        out = page(session, page_options);
    } catch (const ConfirmationNeeded& refusal) {
        std::fprintf(stderr, "%s\n", TerminalText(refusal.what()).c_str());
        if (json) PrintErrorDocument(refusal.what(), kExitUsage);
        return kExitUsage;
    } catch (const FileError& failure) {
        return fail(failure.what(), kExitFileError);
    } catch (const std::exception& failure) {
        return fail(failure.what(), kExitCommandFailed);
    }
    if (loader.loader) out.data["controller"] = "loader";
    if (json) {
        Json document = JsonDocument();
        document["device"] = DeviceJson(session.identity());
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

void AddPage(CLI::App& app, const GlobalOptions& global, int& exit_status, const char* name,
             const char* help, PageFunction page, bool raw_dump = false) {
    auto options = std::make_shared<PageOptions>();
    auto* command = app.add_subcommand(name, help);
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
        exit_status = RunPage(global, *options, page, raw_dump);
    });
}

}  // namespace

void AddPageCommands(CLI::App& app, const GlobalOptions& options, int& exit_status) {
    AddPage(app, options, exit_status, "info", "The Device Info page (IDENTIFY data)", InfoPage);
    AddPage(app, options, exit_status, "ssd-info",
            "The SSD Info page (configuration and flash geometry)", SsdInfoPage);
    AddPage(app, options, exit_status, "erase-count", "The Erase Count page", EraseCountPage);
    AddPage(app, options, exit_status, "bad-blocks", "The Bad Block Info page: summary and detail",
            BadBlocksPage);
    AddPage(app, options, exit_status, "smart", "The S.M.A.R.T. report", SmartPage);
    AddPage(app, options, exit_status, "uart-log", "The firmware's UART and error logs",
            UartLogPage);
    AddPage(app, options, exit_status, "config-dump",
            "The configuration dump (loader block 0500h-058Fh)", ConfigDumpPage);
    AddPage(app, options, exit_status, "dump-info", "Write the drive information dump NAME.txt",
            DumpInfoPage);
    AddPage(
        app, options, exit_status, "raw-dump", "Write the raw dump files of one refresh into DIR",
        [](FormSession&, const PageOptions& o) {
            // Reached only when every dump of the refresh was written whole.
            PageOutput out;
            const auto& dumps = RawDumps();
            const std::string dir = o.dir.empty() ? "." : o.dir;
            out.lines.push_back(std::to_string(dumps.files) + " raw dump files (" +
                                std::to_string(dumps.bytes) + " bytes) written to " + dir);
            out.data["dir"] = Latin1ToUtf8(dir);
            out.data["files"] = dumps.files;
            out.data["bytes"] = dumps.bytes;
            return out;
        },
        true);

    auto decode = std::make_shared<PageOptions>();
    auto* command = app.add_subcommand("decode-log", "Decode a log file into FILE.decode");
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
