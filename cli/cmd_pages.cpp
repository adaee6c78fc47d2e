// vtutil's page commands: each opens the drive as the window does and prints what one page shows,
// or what its save button writes, as text or as one JSON document.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "access/mode_flags.h"
#include "cli/commands.h"
#include "cli/form_session.h"
#include "cli/heatmap.h"
#include "tools/drive_info_dump.h"
#include "tools/log_decoder.h"
#include "vendor/system_info.h"
#include "views/erase_count_view.h"
#include "views/smart_view.h"

namespace vt::cli {
namespace {

using Json = nlohmann::ordered_json;

struct PageOptions {
    std::string device;
    bool json = false;
    std::string heatmap;
    std::string svg;
    bool reset = false;
    std::string name;
    std::string dir;
};

// What a page command prints: text lines, and the page's data for --json.
struct PageOutput {
    std::vector<std::string> lines;
    Json data = Json::object();
};

const char* const kSataInfoEdits[] = {
    "ModelNameEdit",    "SNEdit",          "FwVersionEdit",        "DiskHeadEdit",
    "ChsEdit",          "TotalSectorEdit", "MultiwordDMAmodeEdit", "MultiwordDMAEdit",
    "UltraDMAModeEdit", "UltraDMAEdit",    "SMARTfeatureEdit",     "SecurityModeEdit",
    "WWNEdit"};
const char* const kUsbInfoEdits[] = {
    "SNUSBEdit",      "CapEdit",         "TotalLBAEdit",         "VIDEdit",          "PIDEdit",
    "VendorNameEdit", "ProductNameEdit", "ManufacturStringEdit", "ProductStringEdit"};
const char* const kSsdInfoEdits[] = {
    "FlashmodelEdit", "ChannelEdit",  "CapacityEdit",     "DriverEdit",    "ResPerEdit",
    "EccReadEdit",    "EccCopyEdit",  "WearLevelingEdit", "BankMapEdit",   "FwEdit",
    "SupportEdit1",   "SupportEdit2", "FlashInfoEdit",    "FlashTypeEdit", "BlockCeEdit",
    "PageBlockEdit",  "CeEdit"};

Json Utf8Lines(const std::vector<std::string>& lines) {
    Json array = Json::array();
    for (const auto& line : lines) array.push_back(Latin1ToUtf8(line));
    return array;
}

void AddEdits(FormSession& s, std::span<const char* const> names, PageOutput& out,
              bool with_caption) {
    Json fields = Json::object();
    for (const char* name : names) {
        std::string line = EditLine(s.ui().Text(name));
        if (with_caption) line = EditLine(s.ui().Caption(name)) + ": " + line;
        if (line.empty()) continue;
        out.lines.push_back(line);
        fields[name] = Latin1ToUtf8(line);
    }
    out.data["fields"] = fields;
}

// The first number in a text, or null.
Json NumberIn(const std::string& text) {
    static const std::regex number("-?[0-9]+(\\.[0-9]+)?");
    std::smatch m;
    if (!std::regex_search(text, m, number)) return nullptr;
    return m[1].matched ? Json(std::stod(m[0])) : Json(std::stoll(m[0]));
}

PageOutput InfoPage(FormSession& s, const PageOptions&) {
    PageOutput out;
    const bool usb = s.ui().Visible("GroupBox9") && !s.ui().Text("SNUSBEdit").empty();
    if (usb) {
        AddEdits(s, kUsbInfoEdits, out, true);
    } else {
        AddEdits(s, kSataInfoEdits, out, false);
    }
    out.data["form"] = usb ? "usb" : "sata";
    return out;
}

PageOutput SsdInfoPage(FormSession& s, const PageOptions&) {
    PageOutput out;
    AddEdits(s, kSsdInfoEdits, out, false);
    const auto memo = s.ui().Lines("SSDInfoMemo");
    out.lines.insert(out.lines.end(), memo.begin(), memo.end());
    out.data["memo"] = Utf8Lines(memo);
    const auto& info = SystemInfo;
    out.data["geometry"] = {{"flash_config", info.FlashConfig},
                            {"channels", info.ChannelCount},
                            {"banks", info.BankCount},
                            {"ce_count", info.CeCount},
                            {"dies_per_ce", info.DiesPerCe},
                            {"blocks_per_ce", info.BlocksPerCe},
                            {"pages_per_block", info.PagesPerBlock},
                            {"sectors_per_page", info.SectorsPerPage},
                            {"ecc_mode", info.EccMode},
                            {"reserved_percent", info.ReservedPercent10 / 10.0},
                            {"defect_percent", info.DefectPercent10 / 10.0}};
    return out;
}

// The erase count memo: a header of columns, then one line per block: its number and one cell per
// column, "[n]" for a bad block, "X" for no count.
Json EraseCountJson(const std::vector<std::string>& memo) {
    Json columns = Json::array(), blocks = Json::array();
    for (std::size_t i = 0; i < memo.size(); ++i) {
        auto cells = EraseCountCells(memo[i]);
        if (cells.empty()) continue;
        if (i == 0) {
            for (std::size_t c = 1; c < cells.size(); ++c) columns.push_back(cells[c]);
            continue;
        }
        Json counts = Json::array(), bad = Json::array();
        for (std::size_t c = 1; c < cells.size(); ++c) {
            std::string cell = cells[c];
            const bool is_bad = cell.size() >= 2 && cell.front() == '[' && cell.back() == ']';
            if (is_bad) cell = cell.substr(1, cell.size() - 2);
            counts.push_back(cell == "X" || cell.empty() ? Json(nullptr) : NumberIn(cell));
            if (is_bad) bad.push_back(c - 1);
        }
        blocks.push_back({{"block", cells[0]}, {"counts", counts}, {"bad_columns", bad}});
    }
    return {{"columns", columns}, {"blocks", blocks}};
}

PageOutput EraseCountPage(FormSession& s, const PageOptions& options) {
    PageOutput out;
    const auto memo = s.ui().Lines("EraseMemo");
    out.lines = memo;
    const std::string average = EditLine(s.ui().Text("AeraseEdit"));
    const std::string maximum = EditLine(s.ui().Text("MeraseEdit"));
    if (!average.empty()) out.lines.push_back(average);
    if (!maximum.empty()) out.lines.push_back(maximum);
    out.data = EraseCountJson(memo);
    out.data["average"] = NumberIn(average);
    out.data["maximum"] = NumberIn(maximum);
    if (!options.heatmap.empty() || !options.svg.empty()) {
        HeatmapData picture = HeatmapDataOf(s.form().EraseCounts());
        const auto device = s.DeviceJson();
        picture.model = device["model"].get<std::string>();
        picture.serial = device["serial"].get<std::string>();
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        char date[32] = "";
        if (localtime_r(&now, &local)) std::strftime(date, sizeof date, "%Y-%m-%d", &local);
        picture.date = date;
        std::string error;
        if (!options.heatmap.empty() && !WriteHeatmapPng(picture, options.heatmap, error))
            throw std::runtime_error(error);
        if (!options.svg.empty() && !WriteHeatmapSvg(picture, options.svg, error))
            throw std::runtime_error(error);
    }
    return out;
}

PageOutput BadBlocksPage(FormSession& s, const PageOptions&) {
    PageOutput out;
    const auto summary = s.ui().Lines("BadBlockMemo");
    const auto detail = s.ui().Lines("DetalBadInfoMemo");
    out.lines = summary;
    out.lines.push_back("");
    out.lines.insert(out.lines.end(), detail.begin(), detail.end());
    static const std::regex row("^CH=([0-9]+) CE=([0-9]+)((\\s+[0-9]+)+)\\s*$");
    Json rows = Json::array();
    for (const auto& line : summary) {
        std::smatch m;
        if (!std::regex_match(line, m, row)) continue;
        Json counts = Json::array();
        static const std::regex digits("[0-9]+");
        const std::string numbers = m[3];
        for (std::sregex_iterator it(numbers.begin(), numbers.end(), digits), end; it != end;
             ++it) {
            counts.push_back(std::stoll(it->str()));
        }
        rows.push_back({{"channel", std::stoi(m[1])}, {"ce", std::stoi(m[2])}, {"counts", counts}});
    }
    out.data["summary_columns"] = {"factory_early_bad", "factory_later_bad", "system_early_bad",
                                   "system_later_bad",  "ecc_over",          "prog_fail",
                                   "erase_fail",        "ecc_fail"};
    out.data["summary"] = rows;
    out.data["summary_text"] = Utf8Lines(summary);
    out.data["detail"] = Utf8Lines(detail);
    return out;
}

PageOutput SmartPage(FormSession& s, const PageOptions& options) {
    PageOutput out;
    if (options.reset) {
        s.TakeMessages();
        s.form().ResetSmartInfoBnClick();
        out.lines = s.TakeMessages();
        out.data["reset_messages"] = Utf8Lines(out.lines);
        return out;
    }
    s.form().GetSmartInfoBnClick();
    std::vector<TextRow> rows;
    const int count = s.ui().RowCount("StringGrid1");
    for (int r = 1; r < count; ++r) {
        TextRow row;
        for (int c = 0; c < s.ui().ColCount("StringGrid1"); ++c)
            row.push_back(s.ui().Cell("StringGrid1", r, c));
        rows.push_back(row);
    }
    out.lines = SmartReportLines(rows);
    const auto memo = s.ui().Lines("SMARTMemo");
    Json header = Json::array(), attributes = Json::array();
    for (int c = 0; c < s.ui().ColCount("StringGrid1"); ++c)
        header.push_back(Latin1ToUtf8(s.ui().Cell("StringGrid1", 0, c)));
    for (const auto& row : rows) {
        if (row.empty() || row[0].empty()) continue;
        Json attribute = Json::object();
        for (std::size_t c = 0; c < row.size() && c < header.size(); ++c) {
            const auto number = NumberIn(row[c]);
            const bool numeric =
                !number.is_null() && row[c].find_first_not_of("0123456789") == std::string::npos;
            attribute[header[c].get<std::string>()] = numeric ? number : Json(Latin1ToUtf8(row[c]));
        }
        attributes.push_back(attribute);
    }
    out.data["attributes"] = attributes;
    out.data["summary"] = Utf8Lines(memo);
    out.data["report"] = Utf8Lines(out.lines);
    return out;
}

PageOutput UartLogPage(FormSession& s, const PageOptions&) {
    PageOutput out;
    const auto uart = s.ui().Lines("UartLogMemo");
    const auto errors = s.ui().Lines("DbgErrLogMemo");
    if (uart.empty() && errors.empty()) {
        throw std::runtime_error(
            "no firmware log was read: the refresh reads it from K38 drives with build 3 only");
    }
    out.lines = uart;
    if (!errors.empty()) {
        out.lines.push_back("");
        out.lines.insert(out.lines.end(), errors.begin(), errors.end());
    }
    out.data["uart_log"] = Utf8Lines(uart);
    out.data["error_log"] = Utf8Lines(errors);
    return out;
}

PageOutput ConfigDumpPage(FormSession& s, const PageOptions&) {
    PageOutput out;
    out.lines = s.ui().Lines("DpdFTLMemo");
    if (out.lines.empty()) throw std::runtime_error("the controller memory could not be read");
    static const std::regex hex_byte("[0-9A-F]{2}");
    Json bytes = Json::array();
    for (const auto& line : out.lines) {
        if (line.size() < 6) continue;
        for (std::sregex_iterator it(line.begin() + 6, line.end(), hex_byte), end; it != end;
             ++it) {
            bytes.push_back(std::stoi(it->str(), nullptr, 16));
        }
    }
    out.data["offset"] = 0x500;
    out.data["bytes"] = bytes;
    out.data["lines"] = Utf8Lines(out.lines);
    return out;
}

PageOutput DumpInfoPage(FormSession& s, const PageOptions& options) {
    PageOutput out;
    s.form().DumpSSDInfo(options.name);
    const std::string path = DriveInfoDumpPath(s.form().environment().program_dir, options.name);
    out.lines.push_back("drive information written to " + path);
    out.data["file"] = Latin1ToUtf8(path);
    return out;
}

using PageFunction = std::function<PageOutput(FormSession&, const PageOptions&)>;

// Opens the drive, runs the refresh (raw dumps on for raw-dump) and the page, prints.
int RunPage(const GlobalOptions& global, const PageOptions& options, const PageFunction& page,
            bool raw_dump) {
    if (!InstallBackend(global)) return kExitUsage;
    std::string error;
    const std::string program_dir = raw_dump || options.dir.empty() ? std::string() : options.dir;
    FormSession session({}, program_dir);
    if (!session.Select(options.device, error)) {
        std::fprintf(stderr, "vtutil: %s\n", error.c_str());
        return kExitNoDevice;
    }
    std::error_code ec;
    const auto cwd = std::filesystem::current_path(ec);
    if (raw_dump) {
        const std::string dir = options.dir.empty() ? "." : options.dir;
        std::filesystem::create_directories(dir, ec);
        std::filesystem::current_path(dir, ec);
        if (ec) {
            std::fprintf(stderr, "vtutil: cannot use %s: %s\n", dir.c_str(), ec.message().c_str());
            return kExitUsage;
        }
        RawDumpEnabled = true;
    }
    session.Refresh();
    const auto refresh_messages = session.TakeMessages();
    if (raw_dump) std::filesystem::current_path(cwd, ec);
    for (const auto& message : refresh_messages)
        std::fprintf(stderr, "vtutil: %s\n", message.c_str());
    if (!refresh_messages.empty()) return kExitCommandFailed;
    PageOutput out;
    try {
        out = page(session, options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "vtutil: %s\n", failure.what());
        return kExitCommandFailed;
    }
    if (options.json) {
        Json document = JsonDocument();
        document["device"] = session.DeviceJson();
        document["page"] = out.data;
        std::printf("%s\n", document.dump(2).c_str());
    } else {
        for (const auto& line : out.lines) std::printf("%s\n", line.c_str());
    }
    return kExitOk;
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
        command->add_option("--heatmap", options->heatmap,
                            "Also draw the erase counts as a PNG picture");
        command->add_option("--svg", options->svg, "Also draw the erase counts as an SVG picture");
    }
    if (std::string(name) == "smart") {
        command->add_flag("--reset", options->reset,
                          "Reset the three S.M.A.R.T. counters instead of reading");
    }
    if (std::string(name) == "dump-info") {
        command->add_option("NAME", options->name, "The dump's name; it is written as NAME.txt")
            ->required();
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
            PageOutput out;
            out.lines.push_back("raw dump files written to " +
                                (o.dir.empty() ? std::string(".") : o.dir));
            out.data["dir"] = o.dir.empty() ? "." : o.dir;
            return out;
        },
        true);

    auto decode = std::make_shared<std::string>();
    auto* command = app.add_subcommand("decode-log", "Decode a log file into FILE.decode");
    command->add_option("FILE", *decode, "The log file")->required();
    command->callback([decode, &exit_status] {
        std::string error;
        if (!DecodeLogFile(*decode, *decode + ".decode", error)) {
            std::fprintf(stderr, "vtutil: %s\n", error.c_str());
            exit_status = kExitCommandFailed;
            return;
        }
        std::printf("%s.decode\n", decode->c_str());
    });
}

}  // namespace vt::cli
