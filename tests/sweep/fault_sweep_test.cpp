// Every command of the window's drive operations failed, timed out and lost in turn: the operation
// must end, leave the window in a state a failed read may leave, close every device handle and
// leave no half-written or temporary file.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "ctrl/device_buffers.h"
#include "pages/refresh_state.h"
#include "platform/backend.h"
#include "report/erase_count_texts.h"
#include "sim/bench.h"
#include "tests/support/fake_backend.h"
#include "vendor/carrier.h"
#include "vendor/system_info.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace vt {
namespace {

using nlohmann::json;
using ordered = nlohmann::ordered_json;

struct Operation {
    std::string name;
    json drive;
    bool refresh_first = false;  // the operation runs on a refreshed window
    bool gdp_file = false;       // the loader form needs the code image beside the program
    std::function<void(TMainForm&)> run;
    // Controls a failed read may fill otherwise: the scan lists a drive whose IDENTIFY failed
    // under its bus with no name.
    std::set<std::string> free_controls = {};
};

json K38(json extra = json::object()) {
    json drive = {{"bus", "ide"},
                  {"model", "K38"},
                  {"build", "3"},
                  {"revision", "45"},
                  {"channels", 2u},
                  {"banks", 1u},
                  {"product", "VT SSD"},
                  {"serial", "VT0001"},
                  {"capacity_sectors", 100000u},
                  {"flash", {{"blocks_per_ce", 1024}}},
                  {"uart_log", {{"size", 1024}}}};
    drive.update(extra);
    return drive;
}

std::vector<Operation> Operations() {
    return {
        {"refresh", K38(), false, false, [](TMainForm& f) { f.ClickDeviceRow(0); }},
        {"smart read", K38(), true, false, [](TMainForm& f) { f.Click("GetSmartInfoBn"); }},
        {"firmware log", K38(), true, false,
         [](TMainForm& f) { RunGuarded(f.ui(), [&] { f.ShowFWDebugMessage(1); }); }},
        {"firmware log from the loader",
         K38({{"mode", "loader"}, {"revision", "41"}, {"spi_logs", true}}), false, true,
         [](TMainForm& f) {
             CurrentDevice = 0;
             f.Click("ReadFwDebugMsgGDP");
         }},
        {"self-test", K38(), true, false, [](TMainForm& f) { f.Click("RwTestBn"); }},
        {"scan",
         K38(),
         false,
         false,
         [](TMainForm& f) { f.Click("ScanBn"); },
         {"DeviceList", "ListView1"}},
    };
}

// gtest prints a parameter it cannot name as its bytes.
void PrintTo(const Operation& op, std::ostream* os) {
    *os << op.name;
}

// What one run left: the window, the files and what the drive received.
struct Outcome {
    ordered before;  // the window just before the operation
    ordered after;
    std::map<std::string, std::uintmax_t> files;  // relative path -> size
    std::vector<sim::LoggedCommand> log;
    std::size_t commands_before = 0;  // of the log, sent before the operation started
    std::size_t open_handles = 0;
    bool waiting_open = false;
    double seconds = 0;
};

std::map<std::string, std::uintmax_t> FilesUnder(const std::string& root) {
    std::map<std::string, std::uintmax_t> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) {
            files[std::filesystem::relative(e.path(), root).string()] = e.file_size();
        }
    }
    return files;
}

Outcome RunOperation(const Operation& op, const json& faults) {
    test::ScopedTempDir dir;  // also the working directory, where raw dumps go
    const std::string program_dir = dir.File("program");
    std::filesystem::create_directories(program_dir);
    if (op.gdp_file) {
        std::ofstream(program_dir + "/GDP.bin", std::ios::binary) << std::string(4096, '\x11');
    }
    json drive = op.drive;
    drive["faults"] = faults;
    std::string error;
    auto backend = sim::MakeBench({{"drives", json::array({drive})}}, error);
    EXPECT_TRUE(backend) << error;
    if (!backend) return {};
    platform::BenchBackend* installed = backend.get();
    sim::Bench& bench = sim::BenchOf(*backend);
    auto previous = platform::Install(std::move(backend));

    SpecialMode = DebugFileEnabled = false;
    RawDumpEnabled = true;
    CurrentDevice = 0;
    SystemInfo = {};
    UseDramLayout = false;
    Outcome outcome;
    {
        HeadlessPresentation ui(HeadlessOptions{program_dir, ""});
        TMainForm form(ui, FormEnvironment{program_dir, program_dir + "/vtutility", {}});
        form.FormShow();
        if (op.refresh_first) form.ClickDeviceRow(0);
        if (op.gdp_file) {
            // The loader form runs on a drive the scan left in its loader: reach it as the scan
            // would, unlocked.
            DeviceEntry& entry = EntryOf(0);
            entry.DevicePath = bench.PathOf(0);
            entry.AtaPassThrough = 1;
            CarrierMode = 2;
            VA_UnlockVendorCmd(0);
        }
        outcome.commands_before = bench.Log(0).size();
        outcome.before = ui.ToJson({});
        const auto start = std::chrono::steady_clock::now();
        op.run(form);
        outcome.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        outcome.after = ui.ToJson({});
        outcome.waiting_open = ui.WaitingOpen();
        outcome.log = bench.Log(0);
        outcome.open_handles = installed->OpenHandles();
    }
    outcome.files = FilesUnder(dir.path());
    platform::Install(std::move(previous));
    for (auto& entry : DeviceTable) entry = DeviceEntry{};
    RawDumpEnabled = SpecialMode = DebugFileEnabled = false;
    SystemInfo = {};
    return outcome;
}

// The fault that hits exactly the command at `position` of a clean run's log.
json FaultAt(const std::vector<sim::LoggedCommand>& log, std::size_t position, const char* effect) {
    const sim::LoggedCommand& target = log[position];
    const bool vendor = target.kind == sim::CommandKind::VendorCarrier ||
                        target.kind == sim::CommandKind::VendorDirect;
    const char* space = vendor ? "vendor" : target.kind == sim::CommandKind::Ata ? "ata" : "scsi";
    const std::uint8_t code = vendor ? target.sub_command : target.opcode;
    std::size_t skip = 0;
    for (std::size_t i = 0; i < position; ++i) {
        const bool v = log[i].kind == sim::CommandKind::VendorCarrier ||
                       log[i].kind == sim::CommandKind::VendorDirect;
        if (v == vendor && (v ? log[i].sub_command : log[i].opcode) == code &&
            (vendor || log[i].kind == target.kind)) {
            ++skip;
        }
    }
    char op[16];
    std::snprintf(op, sizeof op, "%s:%02X", space, code);
    return json::array({{{"op", op}, {"skip", skip}, {"count", 1}, {"effect", effect}}});
}

bool IsPrefix(const ordered& shorter, const ordered& longer) {
    if (!shorter.is_array() || !longer.is_array() || shorter.size() > longer.size()) return false;
    for (std::size_t i = 0; i < shorter.size(); ++i) {
        if (shorter[i] != longer[i]) return false;
    }
    return true;
}

// A value a failed read may leave: what the window held before, what a whole read shows, nothing,
// or (lines, rows) the first part of either; a grid keeps its shape, cell by cell.
bool Allowed(const ordered& faulted, const ordered& before, const ordered& clean) {
    if (faulted == before || faulted == clean) return true;
    if (faulted.is_string()) return faulted.get<std::string>().empty();
    if (faulted.is_array()) {
        if (IsPrefix(faulted, clean) || IsPrefix(faulted, before)) return true;
        if (faulted.size() == clean.size() || faulted.size() == before.size()) {
            for (std::size_t i = 0; i < faulted.size(); ++i) {
                const ordered none = faulted[i].is_array() ? ordered::array() : ordered("");
                const ordered& b = i < before.size() ? before[i] : none;
                const ordered& c = i < clean.size() ? clean[i] : none;
                if (!Allowed(faulted[i], b, c)) return false;
            }
            return true;
        }
    }
    return false;
}

// An erase count table whose read failed shows X where a whole read shows a value.
bool EraseRowsAllowed(const ordered& faulted, const ordered& clean) {
    if (faulted.size() != clean.size()) return false;
    for (std::size_t i = 0; i < faulted.size(); ++i) {
        const auto got = EraseCountCells(faulted[i].get<std::string>());
        const auto whole = EraseCountCells(clean[i].get<std::string>());
        if (got.size() != whole.size()) return false;
        for (std::size_t k = 0; k < got.size(); ++k) {
            if (got[k] != whole[k] && got[k] != "X") return false;
        }
    }
    return true;
}

// The average and maximum agree with the table shown (the per-table form of the sweep's drive): a
// column without any value is a table not read and leaves the divisor.
std::vector<std::string> EraseSummaryProblems(const ordered& controls) {
    const auto& rows = controls.at("EraseMemo").at("lines");
    const std::string average = controls.at("AeraseEdit").at("text");
    const std::string maximum = controls.at("MeraseEdit").at("text");
    if (average.empty() && maximum.empty()) return {};
    std::uint64_t sum = 0;
    std::uint64_t most = 0;
    std::set<std::size_t> columns_read;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const auto cells = EraseCountCells(rows[i].get<std::string>());
        for (std::size_t k = 1; k < cells.size(); ++k) {
            if (cells[k] == "X") continue;
            const std::string digits = cells[k].front() == '[' ? cells[k].substr(1) : cells[k];
            const std::uint64_t v = std::stoull(digits);
            sum += v;
            most = std::max(most, v);
            columns_read.insert(k);
        }
    }
    const std::size_t divisor = (rows.size() - 1) * columns_read.size();
    std::vector<std::string> problems;
    if (average !=
        "\nAverage erase count = " + std::to_string(divisor ? sum / divisor : 0) + "\n") {
        problems.push_back("AeraseEdit disagrees with the table: " + average);
    }
    if (maximum != "Max. erase count = " + std::to_string(most) + "\n\n") {
        problems.push_back("MeraseEdit disagrees with the table: " + maximum);
    }
    return problems;
}

// The UART log appends to what the memo held. Without the error log record the ring is unrolled
// from another place: the same text turned round, cut into lines elsewhere. Without the layout
// record it is read at the fixed locations, which hold no log on this drive (an empty ring).
bool UartLinesAllowed(const ordered& faulted, const ordered& before, const ordered& clean) {
    if (!IsPrefix(before, faulted) || !IsPrefix(before, clean)) return false;
    const auto joined = [&](const ordered& lines) {
        std::string text;
        for (std::size_t i = before.size(); i < lines.size(); ++i) text += lines[i];
        return text;
    };
    const std::string got = joined(faulted);
    const std::string whole = joined(clean);
    if (got.find_first_not_of('\0') == std::string::npos) return true;
    return got.size() == whole.size() && (whole + whole).find(got) != std::string::npos;
}

std::vector<std::string> WindowProblems(const Operation& op, const Outcome& faulted,
                                        const Outcome& clean) {
    std::vector<std::string> problems;
    const auto& controls = faulted.after.at("controls");
    for (const auto& [name, value] : controls.items()) {
        if (op.free_controls.count(name)) continue;
        const auto& before = faulted.before.at("controls").at(name);
        const auto& whole = clean.after.at("controls").at(name);
        for (const auto& [field, v] : value.items()) {
            if (Allowed(v, before.at(field), whole.at(field))) continue;
            if (field == "lines" && name == "EraseMemo" && EraseRowsAllowed(v, whole.at(field))) {
                continue;
            }
            if (field == "lines" && name == "UartLogMemo" &&
                UartLinesAllowed(v, before.at(field), whole.at(field))) {
                continue;
            }
            // Checked against the table below.
            if (name == "AeraseEdit" || name == "MeraseEdit") continue;
            problems.push_back(name + "." + field + ": " + v.dump().substr(0, 160));
        }
    }
    for (auto& problem : EraseSummaryProblems(controls)) problems.push_back(std::move(problem));
    if (!Allowed(faulted.after.at("pages"), faulted.before.at("pages"), clean.after.at("pages"))) {
        problems.push_back("pages: " + faulted.after.at("pages").dump().substr(0, 160));
    }
    for (const auto& message : faulted.after.at("messages")) {
        if (message.get<std::string>().empty()) problems.push_back("an empty message box");
    }
    return problems;
}

// Every file a faulted run left is one a clean run writes; a saved text at its whole size (a raw
// dump holds what its read got, so its size follows the read).
std::vector<std::string> FileProblems(const Outcome& faulted, const Outcome& clean) {
    std::vector<std::string> problems;
    for (const auto& [name, size] : faulted.files) {
        const auto it = clean.files.find(name);
        // The self-test's failure file, and the record a failed vendor command leaves while raw
        // dumps are on.
        const bool result_file =
            name == "program/RW_Fail.txt" || name.find("_WCM_") != std::string::npos;
        if (it == clean.files.end() && !result_file) {
            problems.push_back("unexpected file " + name);
        } else if (it != clean.files.end() && it->second != size && name.ends_with(".txt")) {
            problems.push_back(name + " has " + std::to_string(size) + " bytes, a whole one " +
                               std::to_string(it->second));
        }
    }
    return problems;
}

class FaultSweep : public ::testing::TestWithParam<Operation> {};

TEST_P(FaultSweep, EveryCommandFailingTimingOutOrLosingTheDrive) {
    const Operation& op = GetParam();
    const Outcome clean = RunOperation(op, json::array());
    ASSERT_FALSE(clean.log.empty());
    ASSERT_GT(clean.log.size(), clean.commands_before) << "the operation sent nothing";
    const std::size_t first = clean.commands_before;
    const std::size_t positions = clean.log.size() - first;
    std::size_t runs = 0;
    for (std::size_t p = first; p < clean.log.size(); ++p) {
        for (const char* effect : {"fail", "timeout", "gone"}) {
            const json faults = FaultAt(clean.log, p, effect);
            const Outcome faulted = RunOperation(op, faults);
            ++runs;
            const std::string where = op.name + ", " + effect + " at command " +
                                      std::to_string(p - first) + " (" + clean.log[p].ToString() +
                                      ")";
            // Only the chosen command was hit, and only after the operation started.
            std::size_t hits = 0;
            for (std::size_t i = 0; i < faulted.log.size(); ++i) {
                if (!faulted.log[i].fault.empty()) {
                    ++hits;
                    EXPECT_EQ(i, p) << where;
                }
            }
            EXPECT_LE(hits, 1u) << where;
            EXPECT_LT(faulted.seconds, 10.0) << where;
            EXPECT_FALSE(faulted.waiting_open) << where;
            EXPECT_EQ(faulted.open_handles, 0u) << where;
            for (const auto& problem : WindowProblems(op, faulted, clean)) {
                ADD_FAILURE() << where << ": " << problem;
            }
            for (const auto& problem : FileProblems(faulted, clean)) {
                ADD_FAILURE() << where << ": " << problem;
            }
        }
    }
    RecordProperty("commands", static_cast<int>(positions));
    RecordProperty("runs", static_cast<int>(runs));
    std::printf("%s: %zu commands, %zu faulted runs\n", op.name.c_str(), positions, runs);
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultSweep, ::testing::ValuesIn(Operations()),
                         [](const auto& info) {
                             std::string name;
                             for (const char c : info.param.name) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace vt
