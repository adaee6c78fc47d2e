// vtutil end to end: the real binary on the demo bench and on bench files, as a script runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/cli/run_vtutil.h"
#include "tests/support/fake_backend.h"

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

TEST(Vtutil, HeatmapHasABandPerColumnAndMarksBadBlocks) {
    test::ScopedTempDir dir;
    ASSERT_EQ(Vtutil("--demo erase-count 1 --heatmap " + dir.File("wear.png")).status, 0);
    const auto png = test::ReadAll(dir.File("wear.png"));
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png[1], 'P');
    const auto be32 = [&](std::size_t at) {
        return std::uint32_t{png[at]} << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    };
    const std::uint32_t width = be32(16), height = be32(20);
    EXPECT_EQ(width, 8u * 14 + 40);  // 8 bands of 12 + 2 pixels, and the legend
    EXPECT_EQ(height, 2048u);        // one row per block
    // The single IDAT chunk follows IHDR; unfiltered RGB rows.
    ASSERT_EQ(std::string(png.begin() + 37, png.begin() + 41), "IDAT");
    std::vector<std::uint8_t> raw(height * (1 + 3 * width));
    uLongf size = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &size, png.data() + 41, be32(33)), Z_OK);
    auto pixel = [&](std::uint32_t x, std::uint32_t y) {
        const auto* p = &raw[y * (1 + 3 * width) + 1 + 3 * x];
        return std::uint32_t{p[0]} << 16 | p[1] << 8 | p[2];
    };
    const auto json = Json(Vtutil("--demo erase-count 1 --json"));
    const auto& blocks = json["page"]["blocks"];
    bool checked_bad = false;
    for (std::size_t y = 0; y < blocks.size() && !checked_bad; ++y) {
        for (const auto& column : blocks[y]["bad_columns"]) {
            EXPECT_EQ(pixel(column.get<std::uint32_t>() * 14 + 5, y), 0xFF00FFu) << y;
            checked_bad = true;
        }
    }
    EXPECT_TRUE(checked_bad);
    EXPECT_EQ(pixel(12, 0), 0xFFFFFFu);  // the gap between two bands
    // The highest count is red, at the top of the scale.
    EXPECT_EQ(pixel(8 * 14 + 4, 8), 0xFF0000u);
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
