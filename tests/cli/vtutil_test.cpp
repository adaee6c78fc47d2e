// vtutil end to end: the real binary on the demo bench and on bench files, as a script runs it.

#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "tests/support/fake_backend.h"

namespace vt {
namespace {

struct Run {
    int status = -1;
    std::string out;
};

Run Vtutil(const std::string& arguments) {
    Run run;
    const std::string command = std::string(VTUTIL_PATH) + " " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> chunk;
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
        run.out.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

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
    EXPECT_EQ(json["json_format_version"], 1);
    EXPECT_EQ(json["rows"][0]["disk"], "1");
    EXPECT_EQ(json["rows"][0]["path"], "ide:/dev/sda");
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
        EXPECT_EQ(json["json_format_version"], 1) << page;
        EXPECT_EQ(json["device"]["serial"], "VT38A1B2C3D4") << page;
        EXPECT_TRUE(json["page"].is_object()) << page;
    }
    const auto erase = Json(Vtutil("--demo erase-count 1 --json"));
    EXPECT_EQ(erase["page"]["columns"].size(), 8u);
    EXPECT_TRUE(erase["page"]["blocks"][0]["counts"][0].is_number());
    EXPECT_TRUE(erase["page"]["average"].is_number());
    const auto bad = Json(Vtutil("--demo bad-blocks 1 --json"));
    ASSERT_FALSE(bad["page"]["summary"].empty());
    EXPECT_EQ(bad["page"]["summary"][0]["counts"].size(), 8u);
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
    EXPECT_EQ(Vtutil("--demo info 4").status, 3);             // the drive sits in its loader
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

TEST(Vtutil, DecodeLogAndDumpInfo) {
    test::ScopedTempDir dir;
    std::ofstream(dir.File("drive.log"), std::ios::binary) << "abc";
    EXPECT_EQ(Vtutil("decode-log " + dir.File("drive.log")).status, 0);
    EXPECT_EQ(test::ReadAll(dir.File("drive.log.decode")).size(), 3u);
    EXPECT_EQ(Vtutil("decode-log " + dir.File("missing.log")).status, 3);
    ASSERT_EQ(Vtutil("--demo dump-info 1 report --dir " + dir.path()).status, 0);
    EXPECT_FALSE(test::ReadAll(dir.File("report.txt")).empty());
    ASSERT_EQ(Vtutil("--demo raw-dump 1 " + dir.File("raw")).status, 0);
    EXPECT_FALSE(test::ReadAll(dir.File("raw/sysread.raw")).empty());
}

}  // namespace
}  // namespace vt
