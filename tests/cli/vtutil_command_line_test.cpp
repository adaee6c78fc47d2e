// vtutil as a script meets it: options in any place, help and version, typos, confirmations, exit
// statuses, drives in their loader. The real binary on the demo bench.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/fake_backend.h"

namespace vt {
namespace {

struct Run {
    int status = -1;
    std::string out, err;
};

Run Vtutil(const std::string& arguments, const std::string& redirect = "") {
    Run run;
    char err_path[] = "/tmp/vtutil-err-XXXXXX";
    const int err_fd = ::mkstemp(err_path);
    if (err_fd < 0) return run;
    ::close(err_fd);
    const std::string command =
        std::string(VTUTIL_PATH) + " " + arguments + " 2>" + err_path + " " + redirect;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe != nullptr) {
        std::array<char, 4096> chunk;
        for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
            run.out.append(chunk.data(), n);
        const int status = ::pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream err(err_path);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    std::remove(err_path);
    return run;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

nlohmann::json Json(const Run& run) {
    return nlohmann::json::parse(run.out, nullptr, false);
}

TEST(VtutilCommandLine, GlobalOptionsBeforeOrAfterTheSubcommand) {
    const auto before = Vtutil("--demo --json list");
    ASSERT_EQ(before.status, 0) << before.err;
    ASSERT_TRUE(Json(before).is_object());
    for (const char* other : {"list --demo --json", "list --json --demo", "--json list --demo"}) {
        const auto run = Vtutil(other);
        EXPECT_EQ(run.status, 0) << other << ": " << run.err;
        EXPECT_EQ(run.out, before.out) << other;
    }
    const auto page = Vtutil("--json smart 1 --demo");
    EXPECT_EQ(page.status, 0) << page.err;
    EXPECT_EQ(Json(page)["device"]["serial"], "VT38A1B2C3D4");
    const auto window = Vtutil("window --demo --select 0");
    EXPECT_EQ(window.status, 0) << window.err;
    EXPECT_TRUE(Json(window).is_object());
    EXPECT_EQ(Vtutil("--demo --bench x.json list").status, 1);
}

TEST(VtutilCommandLine, JsonOnEverySubcommand) {
    test::ScopedTempDir dir;
    std::ofstream(dir.File("drive.log"), std::ios::binary) << "abc";
    for (const std::string& command : std::vector<std::string>{
             "list", "probe", "probe 1", "info 1", "ssd-info 1", "erase-count 1", "bad-blocks 1",
             "smart 1", "uart-log 1", "config-dump 1", "rwtest 1 --yes",
             "dump-info 1 report --dir " + dir.path(), "raw-dump 1 " + dir.File("raw"),
             "decode-log " + dir.File("drive.log")}) {
        for (const std::string& words :
             {"--demo --json " + command, "--demo " + command + " --json"}) {
            const auto run = Vtutil(words);
            EXPECT_EQ(run.status, 0) << words << ": " << run.err;
            const auto json = Json(run);
            ASSERT_TRUE(json.is_object()) << words << ": " << run.out;
            EXPECT_TRUE(json.contains("json_format_version")) << words;
        }
    }
    EXPECT_EQ(Json(Vtutil("--json decode-log " + dir.File("drive.log")))["decoded"],
              dir.File("drive.log.decode"));
}

// A script that asked for JSON reads a document whatever went wrong: refusals of the command line
// (before CLI11 reads it, while it reads it, in a subcommand's own checks), missing confirmations,
// refused inputs and drives, in every subcommand and in the headless window.
TEST(VtutilCommandLine, EveryRefusalUnderJsonIsTheErrorDocument) {
    test::ScopedTempDir dir;
    const std::string missing = dir.File("missing.json");
    for (const std::string& words : std::vector<std::string>{
             "--json", "--json --demo infoo 1", "--json --demo capture 1", "--demo info --json",
             "--json --demo dump-info 1 ../x", "--demo smart 1 --reset --json",
             "--demo rwtest 1 --json", "--json --demo uart-log 1 --gdp " + missing,
             "--demo ssd-info 4 --json", "--demo info 9 --json",
             "--json --bench " + missing + " list", "--json --bench " + missing + " metrics",
             "--demo window --json --select 99", "--demo window --json --click NoSuchButton",
             "--json window --bench " + missing,
             "--demo --json metrics --output " + dir.File("no/such/dir/x.prom")}) {
        const auto run = Vtutil(words);
        EXPECT_NE(run.status, 0) << words;
        const auto json = Json(run);
        ASSERT_TRUE(json.is_object()) << words << ": " << run.out;
        EXPECT_TRUE(json.contains("json_format_version")) << words;
        EXPECT_EQ(json["error"]["exit_status"], run.status) << words;
        EXPECT_FALSE(json["error"]["message"].get<std::string>().empty()) << words;
    }
    // --help and --version stay what they are.
    EXPECT_EQ(Vtutil("--json --version").status, 0);
    EXPECT_FALSE(Json(Vtutil("--json info --help")).is_object());
}

TEST(VtutilCommandLine, HelpVersionAndTypos) {
    const auto window = Vtutil("window --help");
    EXPECT_EQ(window.status, 0);
    for (const char* option : {"--program-dir", "--cmdline", "--open", "--save-dir", "--select",
                               "--click", "--type", "--enter", "--check", "--special", "--scan"})
        EXPECT_TRUE(Has(window.out, option)) << option;
    EXPECT_TRUE(Has(Vtutil("smart --help").out, "--yes"));
    EXPECT_TRUE(Has(Vtutil("decode-log --help").out, "--json"));
    EXPECT_TRUE(Has(Vtutil("uart-log --help").out, "--gdp"));

    const auto version = Vtutil("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(Has(version.out, "vtutil 0."));
    const auto format = Json(Vtutil("--demo list --json"))["json_format_version"].get<int>();
    EXPECT_TRUE(Has(version.out, "JSON format version " + std::to_string(format))) << version.out;

    // Only the subcommand named is built: the help without one still lists them all, a version
    // asked after the subcommand is still the version, and no subcommand is still an error.
    const auto help = Vtutil("--help");
    for (const char* command :
         {"list", "window", "probe", "info", "decode-log", "rwtest", "capture", "metrics"})
        EXPECT_TRUE(Has(help.out, std::string("\n  ") + command + " ")) << command;
    EXPECT_EQ(Vtutil("--demo smart 1 --version").out, version.out);
    const auto bare = Vtutil("--demo");
    EXPECT_EQ(bare.status, 1);
    EXPECT_TRUE(Has(bare.err, "subcommand is required")) << bare.err;

    const auto typo = Vtutil("--demo infoo 1");
    EXPECT_EQ(typo.status, 1);
    EXPECT_TRUE(Has(typo.err, "unknown subcommand infoo (did you mean info?)")) << typo.err;
    EXPECT_TRUE(Has(Vtutil("--bench x.json smrt 1").err, "(did you mean smart?)"));
    const auto unrelated = Vtutil("xyzzy");
    EXPECT_EQ(unrelated.status, 1);
    EXPECT_TRUE(Has(unrelated.err, "unknown subcommand xyzzy")) << unrelated.err;
    EXPECT_FALSE(Has(unrelated.err, "did you mean")) << unrelated.err;
}

TEST(VtutilCommandLine, ProbeTakesTheDiskNumberAsTheHelpSays) {
    const auto by_number = Vtutil("--demo probe 1");
    EXPECT_EQ(by_number.status, 0) << by_number.err;
    EXPECT_EQ(by_number.out, Vtutil("--demo probe ide:/dev/sda").out);
    EXPECT_EQ(Vtutil("--demo probe 9").status, 2);
}

TEST(VtutilCommandLine, SmartResetNeedsYesAndShowsTheCountersBeforeAndAfter) {
    const auto asked = Vtutil("--demo smart 1 --reset");
    EXPECT_EQ(asked.status, 1);
    EXPECT_TRUE(asked.out.empty()) << asked.out;
    EXPECT_TRUE(Has(asked.err, "09 power-on hours, now 8123")) << asked.err;
    EXPECT_TRUE(Has(asked.err, "0C power cycle count, now 1402")) << asked.err;
    EXPECT_TRUE(Has(asked.err, "C0 unexpected power loss count, now 23")) << asked.err;
    EXPECT_TRUE(Has(asked.err, "Add --yes"));

    const auto done = Vtutil("--demo smart 1 --reset --yes");
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_TRUE(Has(done.out, "09 power-on hours: 8123 -> 0")) << done.out;
    EXPECT_TRUE(Has(done.out, "C0 unexpected power loss count: 23 -> 0")) << done.out;
    const auto json = Json(Vtutil("--demo smart 1 --reset --yes --json"));
    EXPECT_EQ(json["page"]["reset"], true);
    EXPECT_EQ(json["page"]["counters"][1]["before"], 1402);
    EXPECT_EQ(json["page"]["counters"][1]["after"], 0);

    // A drive that refuses the reset: the counters it kept are shown, and the command fails.
    test::ScopedTempDir dir;
    std::ofstream(dir.File("refusing.json"))
        << R"({"drives": [{"bus": "ide", "model": "K38", "capacity_sectors": 4194304,
               "faults": [{"op": "vendor:05", "effect": "fail"}]}]})";
    const auto refused = Vtutil("--bench " + dir.File("refusing.json") + " smart 1 --reset --yes");
    EXPECT_EQ(refused.status, 3) << refused.out << refused.err;
}

TEST(VtutilCommandLine, ExitStatusesAScriptCanTrust) {
    test::ScopedTempDir dir;
    EXPECT_EQ(Vtutil("decode-log " + dir.File("missing.log")).status, 5);
    const auto full = Vtutil("--demo list", ">/dev/full");
    EXPECT_EQ(full.status, 5);
    EXPECT_TRUE(Has(full.err, "cannot write standard output")) << full.err;
    EXPECT_EQ(Vtutil("--demo info 1", ">/dev/full").status, 5);
    EXPECT_EQ(Vtutil("--version", ">/dev/full").status, 5);  // printed without the parser

    std::ofstream(dir.File("silent.json"))
        << R"({"drives": [{"bus": "ide", "model": "K38", "capacity_sectors": 4194304,
               "state": "silent"}]})";
    const auto silent = Vtutil("--bench " + dir.File("silent.json") + " rwtest ide:/dev/sda --yes");
    EXPECT_EQ(silent.status, 3);
    EXPECT_TRUE(Has(silent.err, "ide:/dev/sda did not answer")) << silent.err;
    EXPECT_FALSE(Has(silent.out + silent.err, "capacity does not allow"));
}

TEST(VtutilCommandLine, DriveInItsLoader) {
    const auto info = Vtutil("--demo info 4");
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Has(info.out, "Model Name: Vantrel VTFK3X SATA SSD Loader Device")) << info.out;
    EXPECT_TRUE(Has(info.err, "runs its loader")) << info.err;
    EXPECT_TRUE(Has(info.err, "uart-log 4 --gdp")) << info.err;
    EXPECT_EQ(Json(Vtutil("--demo info 4 --json"))["page"]["controller"], "loader");

    const auto page = Vtutil("--demo ssd-info 4");
    EXPECT_EQ(page.status, 3);
    EXPECT_TRUE(Has(page.err, "runs its loader")) << page.err;

    // The log through the loader is the one the window's special mode shows for the same drive.
    test::ScopedTempDir dir;
    std::ofstream(dir.File("GDP.bin"), std::ios::binary) << std::string(4096, '\x11');
    const auto log = Vtutil("--demo uart-log 4 --json --gdp " + dir.File("GDP.bin"));
    ASSERT_EQ(log.status, 0) << log.err;
    EXPECT_TRUE(Has(log.err, "loading the code image")) << log.err;
    EXPECT_TRUE(Has(log.err, "read from the serial flash")) << log.err;
    const auto window =
        Json(Vtutil("window --demo --program-dir " + dir.path() + " --special --select 3"));
    ASSERT_TRUE(window.is_object());
    const auto shown = window["controls"]["UartLogMemo"]["lines"];
    ASSERT_FALSE(shown.empty()) << window["controls"]["UartLogMemo"].dump();
    EXPECT_EQ(Json(log)["page"]["lines"], shown);
    EXPECT_EQ(Json(log)["page"]["source"], "serial_flash");

    EXPECT_EQ(Vtutil("--demo uart-log 4 --gdp " + dir.File("none.bin")).status, 5);
    EXPECT_EQ(Vtutil("--demo uart-log 1 --gdp " + dir.File("GDP.bin")).status, 1);
}

}  // namespace
}  // namespace vt
