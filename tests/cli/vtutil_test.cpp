// vtutil end to end: the real binary on the demo bench and on bench files, as a script runs it.

#include <cairo.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/terminal_text.h"
#include "platform/named_objects.h"
#include "sim/bench.h"
#include "tests/cli/run_vtutil.h"
#include "tests/support/fake_backend.h"
#include "tools/log_decoder.h"

namespace vt {
namespace {

using test::Run;
using test::Vtutil;

nlohmann::json Json(const Run& run) {
    return nlohmann::json::parse(run.out, nullptr, false);
}

TEST(Vtutil, ListShowsRowsLinesAndDisks) {
    const auto text = Vtutil("--demo list");
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Vantrel VT538 SSD 256GB"), std::string::npos);
    EXPECT_NE(text.out.find("<< USB >>  Vantrel FK1X"), std::string::npos);
    const auto json = Json(Vtutil("--demo list --json"));
    ASSERT_TRUE(json.is_object());
    EXPECT_EQ(json["json_format_version"], 2);
    EXPECT_EQ(json["rows"][0]["number"], 1);
    EXPECT_EQ(json["rows"][0]["path"], "ide:/dev/sda");
    EXPECT_EQ(json["rows"][0]["model"], "Vantrel VT538 SSD 256GB");
    EXPECT_EQ(json["rows"][0]["capacity_gib"],
              json["rows"][0]["capacity_bytes"].get<std::uint64_t>() >> 30);
    EXPECT_EQ(json["rows"].size() + 1,
              json["combo_lines"].size());  // the older bridge: a line only
}

TEST(Vtutil, EveryPageInTextAndJson) {
    for (const char* page :
         {"info", "ssd-info", "erase-count", "bad-blocks", "smart", "uart-log", "config-dump"}) {
        const auto text = Vtutil(std::string("--demo ") + page + " 1");
        EXPECT_EQ(text.status, 0) << page;
        EXPECT_FALSE(text.out.empty()) << page;
        const auto json = Json(Vtutil(std::string("--demo ") + page + " 1 --json"));
        ASSERT_TRUE(json.is_object()) << page;
        EXPECT_EQ(json["json_format_version"], 2) << page;
        EXPECT_EQ(json["device"]["serial"], "VT38A1B2C3D4") << page;
        EXPECT_TRUE(json["page"].is_object()) << page;
    }
    const auto erase = Json(Vtutil("--demo erase-count 1 --json"));
    EXPECT_EQ(erase["page"]["columns"].size(), 8u);
    EXPECT_TRUE(erase["page"]["blocks"][0]["counts"][0].is_number());
    EXPECT_TRUE(erase["page"]["erase_count_average"].is_number());
    const auto bad = Json(Vtutil("--demo bad-blocks 1 --json"));
    ASSERT_FALSE(bad["page"]["summary"].empty());
    EXPECT_EQ(bad["page"]["summary"][0]["counts"].size(), 8u);
    EXPECT_FALSE(bad["page"]["detail"].empty());
    const auto config = Json(Vtutil("--demo config-dump 1 --json"));
    EXPECT_EQ(config["page"]["bytes"].size(), 144u);
    EXPECT_EQ(config["page"]["bytes"][0], 0x13);
    const auto smart = Json(Vtutil("--demo smart 1 --json"));
    EXPECT_FALSE(smart["page"]["attributes"].empty());
}

TEST(Vtutil, ExitStatuses) {
    EXPECT_EQ(Vtutil("--demo no-such-command").status, 1);
    EXPECT_EQ(Vtutil("--demo info 9").status, 2);
    EXPECT_EQ(Vtutil("--demo info ide:/dev/sdd").status, 2);  // a foreign disk is not listed
    EXPECT_EQ(Vtutil("--demo ssd-info 4").status, 3);         // the drive sits in its loader
    EXPECT_EQ(Vtutil("--bench /nonexistent.json list").status, 1);
}

TEST(Vtutil, SelfTestNeedsYesAndReportsFailures) {
    test::ScopedTempDir dir;
    EXPECT_EQ(Vtutil("--demo rwtest 1").status, 1);
    EXPECT_EQ(Vtutil("--demo rwtest 1 --yes").status, 0);
    const auto passed = Json(Vtutil("--demo rwtest 1 --yes --json"));
    EXPECT_EQ(passed["passed"], true);
    std::ofstream(dir.File("failing.json"))
        << R"({"drives": [{"bus": "ide", "model": "K38", "capacity_sectors": 4194304,
               "faults": [{"op": "ata:CA", "skip": 3, "effect": "fail"}]}]})";
    const auto failed =
        Json(Vtutil("--bench " + dir.File("failing.json") + " rwtest 1 --yes --json"));
    EXPECT_EQ(failed["passed"], false);
    EXPECT_EQ(failed["outcome"], "a drive command failed");
    EXPECT_EQ(Vtutil("--bench " + dir.File("failing.json") + " rwtest 1 --yes").status, 3);
    std::ofstream(dir.File("gone.json"))
        << R"({"drives": [{"bus": "ide", "model": "K38", "faults": [{"op": "ata:C8", "effect": "gone"}]}]})";
    EXPECT_EQ(Vtutil("--bench " + dir.File("gone.json") + " rwtest 1 --yes").status, 3);
}

// A disk in use is refused with its own status and what holds it named; without --yes the plan
// lists what would be destroyed. A drive above 2 TiB shows one 48-bit capacity everywhere.
TEST(Vtutil, SelfTestRefusesADiskInUseAndSaysWhatItWouldDestroy) {
    test::ScopedTempDir dir;
    std::ofstream(dir.File("busy.json"))
        << R"({"drives": [{"bus": "ide", "model": "K38", "serial": "VTBUSY01",
               "use": {"partitions": ["/dev/sda1", "/dev/sda2"],
                       "mounts": [{"device": "/dev/sda1", "on": "/media/data"}],
                       "swaps": ["/dev/sda2"]}},
              {"bus": "ide", "model": "K38", "capacity_sectors": 7814037168}]})";
    const std::string bench = "--bench " + dir.File("busy.json");
    const auto plan = Vtutil(bench + " rwtest 1", true);
    EXPECT_EQ(plan.status, 1);
    EXPECT_NE(plan.out.find("serial VTBUSY01"), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("partitions: /dev/sda1 /dev/sda2"), std::string::npos);
    EXPECT_NE(plan.out.find("/dev/sda2 is an active swap area"), std::string::npos);
    const auto refused = Vtutil(bench + " rwtest 1 --yes", true);
    EXPECT_EQ(refused.status, 7);
    EXPECT_NE(refused.out.find("/dev/sda is in use: /dev/sda1 is mounted on /media/data"),
              std::string::npos)
        << refused.out;
    const auto document = Json(Vtutil(bench + " rwtest 1 --yes --json"));
    EXPECT_EQ(document["error"]["exit_status"], 7);

    const auto big = Json(Vtutil(bench + " list --json"));
    EXPECT_EQ(big["rows"][1]["capacity_bytes"], 7814037168ull * 512);
    EXPECT_EQ(big["rows"][1]["capacity_gib"], 3726);
    const auto big_plan = Vtutil(bench + " rwtest 2", true);
    EXPECT_NE(big_plan.out.find("partitions: none"), std::string::npos);
    EXPECT_NE(big_plan.out.find("region 3495: sectors 7329546240 to"), std::string::npos);
    EXPECT_NE(big_plan.out.find("the last sector, 7814037167"), std::string::npos);
}

// The pictures of a demo drive: a PNG cairo reads back with the bad blocks in magenta, and an SVG
// whose texts name the drive.
TEST(Vtutil, HeatmapWritesPngAndSvgOfTheDrive) {
    test::ScopedTempDir dir;
    ASSERT_EQ(Vtutil("--demo erase-count 1 --heatmap " + dir.File("wear.png") + " --svg " +
                     dir.File("wear.svg"))
                  .status,
              0);
    cairo_surface_t* png = cairo_image_surface_create_from_png(dir.File("wear.png").c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    const int width = cairo_image_surface_get_width(png);
    const int height = cairo_image_surface_get_height(png);
    // Sized for a screen, not one pixel line per block.
    EXPECT_GT(width, 300);
    EXPECT_LT(height, 1400);
    const int stride = cairo_image_surface_get_stride(png);
    const auto* data = cairo_image_surface_get_data(png);
    std::size_t magenta = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t p;
            std::memcpy(&p, data + y * stride + 4 * x, 4);
            magenta += (p & 0xFFFFFF) == 0xFF00FFu;
        }
    }
    cairo_surface_destroy(png);
    const auto page = Json(Vtutil("--demo erase-count 1 --json"));
    std::size_t bad = 0;
    for (const auto& block : page["page"]["blocks"]) bad += block["bad_columns"].size();
    ASSERT_GT(bad, 0u);
    // Every bad block's cell (at least a pixel each) and the legend's swatch.
    EXPECT_GE(magenta, bad + 14 * 14);
    const auto svg = test::ReadAll(dir.File("wear.svg"));
    const std::string text(svg.begin(), svg.end());
    EXPECT_NE(text.find(">Erase counts of " + page["device"]["model"].get<std::string>() +
                        ", S/N " + page["device"]["serial"].get<std::string>()),
              std::string::npos);
    EXPECT_NE(text.find(">bad block</text>"), std::string::npos);
    EXPECT_NE(Vtutil("--demo erase-count 1 --svg " + dir.File("missing/wear.svg")).status, 0);
}

// cairo is loaded only for a picture: a libcairo.so.2 that is no library, or one without cairo's
// calls, found first on the library path, leaves every other command working, and a picture is
// refused with the reason and the usage status instead of crashing or failing at start-up.
TEST(Vtutil, HeatmapWithoutAUsableCairoIsRefusedWithTheReason) {
    test::ScopedTempDir dir;
    std::filesystem::create_directories(dir.File("broken"));
    std::ofstream(dir.File("broken/libcairo.so.2"), std::ios::binary) << "not a library";
    Dl_info libm{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&::cos), &libm), 0);
    std::filesystem::create_directories(dir.File("other"));
    std::filesystem::copy_file(libm.dli_fname, dir.File("other/libcairo.so.2"));
    const auto run = [&](const std::string& libraries, const std::string& arguments) {
        return test::Shell("LD_LIBRARY_PATH=" + dir.File(libraries) + " " + VTUTIL_PATH + " " +
                           arguments + " 2>&1");
    };
    for (const std::string libraries : {"broken", "other"}) {
        EXPECT_EQ(run(libraries, "--demo list").status, 0) << libraries;
        EXPECT_EQ(run(libraries, "--demo erase-count 1 --json").status, 0) << libraries;
    }
    const auto broken = run("broken", "--demo erase-count 1 --heatmap " + dir.File("wear.png"));
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.out.find("cannot draw the picture: libcairo.so.2 could not be loaded: "),
              std::string::npos)
        << broken.out;
    const auto other = run("other", "--demo erase-count 1 --svg " + dir.File("wear.svg"));
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.out.find("cannot draw the picture: libcairo.so.2 lacks cairo_"),
              std::string::npos)
        << other.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("wear.png")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("wear.svg")));
}

TEST(Vtutil, DecodeLogAndDumpInfo) {
    test::ScopedTempDir dir;
    std::ofstream(dir.File("drive.log"), std::ios::binary) << "abc";
    EXPECT_EQ(Vtutil("decode-log " + dir.File("drive.log")).status, 0);
    EXPECT_EQ(test::ReadAll(dir.File("drive.log.decode")).size(), 3u);
    EXPECT_EQ(Vtutil("decode-log " + dir.File("missing.log")).status, 5);
    ASSERT_EQ(Vtutil("--demo dump-info 1 report --dir " + dir.path()).status, 0);
    EXPECT_FALSE(test::ReadAll(dir.File("report.txt")).empty());
    ASSERT_EQ(Vtutil("--demo raw-dump 1 " + dir.File("raw")).status, 0);
    EXPECT_FALSE(test::ReadAll(dir.File("raw/sysread.raw")).empty());
}

vt::Run VtutilWithErrors(const std::string& arguments) {
    return Vtutil(arguments, true);
}

std::string WriteFile(const test::ScopedTempDir& dir, const std::string& name,
                      const std::string& text) {
    std::ofstream(dir.File(name), std::ios::binary) << text;
    return dir.File(name);
}

TEST(VtutilHostileInput, ProbeOfADiskWithStringsThatAreNotUtf8StaysValidJson) {
    test::ScopedTempDir dir;
    const std::string bench = WriteFile(
        dir, "odd.json", R"({"drives":[{"bus":"ide","identify":{"size":512,"fill":"FF"}}]})");
    const vt::Run probe = Vtutil("--bench " + bench + " probe --json");
    EXPECT_EQ(probe.status, 0);
    const auto document = Json(probe);
    ASSERT_FALSE(document.is_discarded()) << probe.out.substr(0, 300);
    // Drive strings are Latin-1 bytes: FFh is y with diaeresis, U+00FF.
    EXPECT_NE(probe.out.find("\xC3\xBF\xC3\xBF"), std::string::npos) << probe.out.substr(0, 300);
}

// A drive's strings that would retitle the terminal and clear it, and a C1 control in UTF-8,
// reach the terminal as escapes in every text output and message; the JSON keeps them as text.
TEST(VtutilHostileInput, ControlBytesFromTheDriveReachNoTerminal) {
    test::ScopedTempDir dir;
    const std::string bench = WriteFile(dir, "esc.json", R"({"drives":[{"bus":"ide",
        "product":"\u001b]0;TITLE\u0007\u001b[2J", "serial":"S\r\u009b1\u007f2"}]})");
    for (const char* command : {"info 1", "list", "probe", "smart 1 --reset"}) {
        const vt::Run run = VtutilWithErrors("--bench " + bench + " " + command);
        EXPECT_EQ(run.out.find_first_of("\x1B\x07\r\x7F"), std::string::npos) << command;
        EXPECT_EQ(run.out.find("\xC2\x9B"), std::string::npos) << command;
        EXPECT_NE(run.out.find("TITLE\\x07\\x1B[2J"), std::string::npos) << command << run.out;
        EXPECT_NE(run.out.find("\\xC2\\x9B1\\x7F2"), std::string::npos) << command << run.out;
    }
    EXPECT_EQ(Json(Vtutil("--bench " + bench + " info 1 --json"))["page"]["model"],
              "]0;TITLE\x07\x1B[2J");  // trimmed as every drive text
    // What is text stays: tabs, line feeds and UTF-8 beyond the controls.
    EXPECT_EQ(cli::TerminalText("a\tb\nc\xC3\x84\xC2\xA0\xC3\x9B"),
              "a\tb\nc\xC3\x84\xC2\xA0\xC3\x9B");
    EXPECT_EQ(cli::TerminalText(std::string("\0\x1F\xC2", 3)), "\\x00\\x1F\xC2");
}

TEST(VtutilHostileInput, FilesThatAreNotRegularAreRefusedByName) {
    test::ScopedTempDir dir;
    const vt::Run directory = VtutilWithErrors("--bench " + dir.path() + " list");
    EXPECT_EQ(directory.status, 1);
    EXPECT_NE(directory.out.find(dir.path() + " is not a regular file"), std::string::npos)
        << directory.out;
    const vt::Run zero = VtutilWithErrors("--bench /dev/zero list");
    EXPECT_EQ(zero.status, 1);
    EXPECT_NE(zero.out.find("/dev/zero is not a regular file"), std::string::npos);
    ASSERT_EQ(::mkfifo(dir.File("drive.log").c_str(), 0600), 0);
    const vt::Run fifo = VtutilWithErrors("decode-log " + dir.File("drive.log"));
    EXPECT_NE(fifo.status, 0);
    EXPECT_NE(fifo.out.find("drive.log is not a regular file"), std::string::npos) << fifo.out;
    EXPECT_NE(VtutilWithErrors("decode-log /dev/zero").status, 0);
    // A code image at a FIFO: refused at once, never waited for.
    for (const char* command : {"uart-log 4 --gdp ", "capture 4 -o /dev/null --gdp "}) {
        const vt::Run gdp =
            VtutilWithErrors(std::string("--demo ") + command + dir.File("drive.log"));
        EXPECT_EQ(gdp.status, 5) << command;
        EXPECT_NE(gdp.out.find("drive.log is not a regular file"), std::string::npos) << gdp.out;
    }
}

// A large log: decode-log says what it writes, a log past the limit is refused before anything
// is written, and Ctrl-C in the middle leaves the old decoded copy and no partial one.
TEST(VtutilHostileInput, ALargeLogIsBoundedAndStopsCleanly) {
    test::ScopedTempDir dir;
    std::filesystem::resize_file(WriteFile(dir, "huge.log", ""), kMaxLogBytes + 1);
    const vt::Run huge = VtutilWithErrors("decode-log " + dir.File("huge.log"));
    EXPECT_EQ(huge.status, 5);
    EXPECT_NE(huge.out.find("larger than the limit"), std::string::npos) << huge.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("huge.log.decode")));

    std::filesystem::resize_file(WriteFile(dir, "big.log", ""), 512 << 20);
    WriteFile(dir, "big.log.decode", "keep");
    const pid_t child = ::fork();
    if (child == 0) {
        const int err = ::open(dir.File("err.txt").c_str(), O_WRONLY | O_CREAT, 0600);
        ::dup2(err, STDERR_FILENO);
        ::execl(VTUTIL_PATH, VTUTIL_PATH, "decode-log", dir.File("big.log").c_str(), nullptr);
        ::_exit(127);
    }
    // Interrupted once the copy is being written.
    const auto writing = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename().string().starts_with("big.log.decode.")) return true;
        return false;
    };
    for (int i = 0; i < 5000 && !writing(); ++i) ::usleep(1000);
    ASSERT_TRUE(writing());
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_FALSE(writing());
    const auto kept = test::ReadAll(dir.File("big.log.decode"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep");
    const auto said = test::ReadAll(dir.File("err.txt"));
    EXPECT_NE(std::string(said.begin(), said.end())
                  .find("decoding " + dir.File("big.log") + " (512 MiB) into"),
              std::string::npos);
}

TEST(VtutilHostileInput, ALogDecodesInPiecesToTheSameBytes) {
    test::ScopedTempDir dir;
    std::string log(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < log.size(); ++i) log[i] = static_cast<char>(i * 7);
    WriteFile(dir, "big.log", log);
    ASSERT_EQ(Vtutil("decode-log " + dir.File("big.log")).status, 0);
    const auto decoded = test::ReadAll(dir.File("big.log.decode"));
    ASSERT_EQ(decoded.size(), log.size());
    for (std::size_t i = 0; i < log.size(); i += 4099) {
        ASSERT_EQ(decoded[i],
                  static_cast<std::uint8_t>(~(static_cast<std::uint8_t>(log[i]) + 0x3B)))
            << i;
    }
}

TEST(VtutilHostileInput, DumpNamesAreFileNamesAndFailedWritesFail) {
    test::ScopedTempDir dir;
    std::filesystem::create_directory(dir.File("program"));
    for (const char* name : {"../victim", ".", "..", "a/b"}) {
        const vt::Run refused = VtutilWithErrors("--demo dump-info 1 '" + std::string(name) +
                                                 "' --dir " + dir.File("program"));
        EXPECT_EQ(refused.status, 1) << name;
        EXPECT_NE(refused.out.find("is not a file name"), std::string::npos) << refused.out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("victim.txt")));
    const vt::Run missing = VtutilWithErrors("--demo dump-info 1 x --dir " + dir.File("nodir"));
    EXPECT_EQ(missing.status, 5) << missing.out;
    EXPECT_EQ(missing.out.find("written"), std::string::npos) << missing.out;

    // The window's command line: refused, no file outside the program's directory, no message.
    const vt::Run window = Vtutil("--demo window --program-dir " + dir.File("program") +
                                  " --cmdline 'vtutility dumpssdinfo ../victim' --select 0 --json");
    EXPECT_EQ(window.status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("victim.txt")));
    const auto state = Json(window);
    ASSERT_FALSE(state.is_discarded());
    EXPECT_TRUE(state["messages"].empty()) << state["messages"];
}

TEST(VtutilDriveLock, ASecondProcessOnTheSameBenchDriveFailsAsBusy) {
    test::ScopedTempDir dir;
    const std::string bench =
        WriteFile(dir, "two.json", R"({"drives":[{"bus":"ide","model":"K38"},{"bus":"ide"}]})");
    std::string error;
    auto holder = sim::LoadBenchFile(bench, error);
    ASSERT_TRUE(holder) << error;
    // A command about one drive does not wait for, or fail on, a busy disk after it.
    const int second = holder->LockDevice(holder->ListDisks()[1].path, 1);
    ASSERT_GE(second, 0);
    EXPECT_EQ(Vtutil("--bench " + bench + " smart 1").status, 0);
    holder->UnlockDevice(second);
    const std::string disk = holder->ListDisks()[0].path;
    const int held = holder->LockDevice(disk, 0);
    ASSERT_GE(held, 0);
    // Found busy deep inside the refresh: still the error document a script asked for.
    const vt::Run busy = Vtutil("--json --bench " + bench + " erase-count 1");
    EXPECT_EQ(busy.status, 6) << busy.out;
    const auto document = Json(busy);
    EXPECT_EQ(document["error"]["exit_status"], 6) << busy.out;
    EXPECT_NE(document["error"]["message"].get<std::string>().find(
                  "/dev/sda is in use by another process"),
              std::string::npos)
        << busy.out;
    // The drive's lock file stands only while someone holds the drive.
    struct stat st {};
    ASSERT_EQ(::stat(bench.c_str(), &st), 0);
    const std::string lock = *platform::PrivateLockDirectory(error) + "/bench-" +
                             std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino) +
                             "-0.lock";
    EXPECT_TRUE(std::filesystem::exists(lock)) << lock;
    holder->UnlockDevice(held);
    EXPECT_FALSE(std::filesystem::exists(lock)) << lock;
    EXPECT_EQ(Vtutil("--bench " + bench + " list").status, 0);
    EXPECT_FALSE(std::filesystem::exists(lock)) << lock;
}

}  // namespace
}  // namespace vt
