// vtutil metrics: the text format itself, promtool's check of what vtutil writes, the real node
// exporter serving it, and the values against vtutil's own JSON of the same drives.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "report/drive_metrics.h"
#include "report/exposition.h"
#include "tests/support/fake_backend.h"

#include "tests/cli/loopback_service.h"
#include "tests/cli/run_vtutil.h"

namespace vt {
namespace {

using test::Run;
using test::Shell;

Run Vtutil(const std::string& arguments) {
    return Shell(std::string(VTUTIL_PATH) + " " + arguments + " 2>/dev/null");
}

// promtool's verdict on a text: its exit status and what it said.
Run PromtoolCheck(const std::string& text, const test::ScopedTempDir& dir) {
    std::ofstream(dir.File("check.prom"), std::ios::binary) << text;
    return Shell("promtool check metrics < " + dir.File("check.prom") + " 2>&1");
}

// One sample of the text format, labels unescaped.
struct Sample {
    std::string name;
    std::map<std::string, std::string> labels;
    double value = 0;
};

std::vector<Sample> ParseExposition(const std::string& text) {
    std::vector<Sample> samples;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        Sample s;
        std::size_t i = 0;
        while (i < line.size() && line[i] != '{' && line[i] != ' ') s.name += line[i++];
        if (i < line.size() && line[i] == '{') {
            ++i;
            while (i < line.size() && line[i] != '}') {
                std::string name;
                while (i < line.size() && line[i] != '=') name += line[i++];
                i += 2;  // ="
                std::string value;
                for (; i < line.size() && line[i] != '"'; ++i) {
                    if (line[i] == '\\' && i + 1 < line.size()) {
                        ++i;
                        value += line[i] == 'n' ? '\n' : line[i];
                    } else {
                        value += line[i];
                    }
                }
                ++i;  // closing quote
                if (i < line.size() && line[i] == ',') ++i;
                s.labels[name] = value;
            }
            ++i;
        }
        s.value = std::stod(line.substr(i));
        samples.push_back(std::move(s));
    }
    return samples;
}

// The value of the one sample with this name whose labels include these.
std::optional<double> Find(const std::vector<Sample>& samples, const std::string& name,
                           const std::map<std::string, std::string>& labels) {
    std::optional<double> found;
    for (const auto& s : samples) {
        if (s.name != name) continue;
        bool match = true;
        for (const auto& [k, v] : labels) {
            const auto it = s.labels.find(k);
            match = match && it != s.labels.end() && it->second == v;
        }
        if (!match) continue;
        if (found) return std::nullopt;  // ambiguous
        found = s.value;
    }
    return found;
}

TEST(MetricsText, EscapesLabelsAndHelpAndKeepsFamiliesTogether) {
    MetricFamily family("vt_test_items", MetricType::Gauge, "Items\\things\nsecond line");
    family.Add({{"name", "a \"quoted\" back\\slash\nnewline"}}, 3);
    family.Add({}, 0.25);
    const std::string text = family.Render();
    EXPECT_EQ(text,
              "# HELP vt_test_items Items\\\\things\\nsecond line\n"
              "# TYPE vt_test_items gauge\n"
              "vt_test_items{name=\"a \\\"quoted\\\" back\\\\slash\\nnewline\"} 3\n"
              "vt_test_items 0.25\n");
    const auto samples = ParseExposition(text);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].labels.at("name"), "a \"quoted\" back\\slash\nnewline");
    EXPECT_TRUE(MetricFamily("vt_empty", MetricType::Gauge, "x").Render().empty());
}

TEST(MetricsText, ValuesKeepEveryDigitOfARawValue) {
    EXPECT_EQ(FormatValue(281474976710655.0), "281474976710655");  // 48 bits all set
    EXPECT_EQ(FormatValue(0), "0");
    EXPECT_EQ(FormatValue(-3), "-3");
    EXPECT_EQ(FormatValue(0.1), "0.1");
    EXPECT_EQ(FormatValue(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(FormatValue(std::numeric_limits<double>::infinity()), "+Inf");
}

TEST(MetricsText, HistogramBucketsAreCumulativeWithInfLast) {
    Histogram h({100, 10, 100});  // unsorted, a bound twice
    for (double v : {0.0, 10.0, 11.0, 99.0, 100.0, 5000.0}) h.Observe(v);
    MetricFamily family("vt_test_erases", MetricType::Histogram, "Erases.");
    family.Add({{"disk", "1"}}, h);
    const auto samples = ParseExposition(family.Render());
    EXPECT_EQ(Find(samples, "vt_test_erases_bucket", {{"le", "10"}}), 2);  // le is inclusive
    EXPECT_EQ(Find(samples, "vt_test_erases_bucket", {{"le", "100"}}), 5);
    EXPECT_EQ(Find(samples, "vt_test_erases_bucket", {{"le", "+Inf"}}), 6);
    EXPECT_EQ(Find(samples, "vt_test_erases_count", {{"disk", "1"}}), 6);
    EXPECT_EQ(Find(samples, "vt_test_erases_sum", {{"disk", "1"}}), 5220);
    EXPECT_EQ(samples.back().name, "vt_test_erases_count");
}

// A drive whose texts carry every character the format must escape, and Latin-1 bytes.
MetricsCollection AwkwardCollection() {
    DriveMetrics d;
    d.drive.number = 1;
    d.drive.path = "ide:/dev/sda";
    d.drive.model = "Model \"X\" \\ 2\n\xE9t\xE9  ";
    d.drive.serial = std::string("SN\0\x01", 4);
    d.mode = ControllerMode::Firmware;
    d.flash_type = "MLC";
    d.read_ok = true;
    d.pages = {{"erase_count", true}, {"smart", false}};
    d.drive.capacity_bytes = 256060514304ULL;
    d.erase_counts.emplace();
    d.erase_counts->has_summary = true;
    d.erase_counts->average = 12;
    d.erase_counts->maximum = 40;
    for (double v : {1.0, 12.0, 40.0}) d.erase_counts->per_block.Observe(v);
    d.bad_blocks = BadBlockMetrics{{{0, 1, 3, 0, 1, 2, {1, 1, 0, 0}}}, 2, 1};
    d.smart = std::vector<SmartMetric>{{9, "Power-On Hours", 100, 100, 0, 0xFFFFFFFFFFFFull},
                                       {250, "", 1, 2, 3, 4}};
    DriveMetrics failed;
    failed.drive.number = 2;
    failed.mode = ControllerMode::Loader;
    return {{d, failed}, 1.5, 1.7e9};
}

TEST(MetricsText, DriveTextsBecomeValidUtf8LabelsAndPromtoolAcceptsThem) {
    test::ScopedTempDir dir;
    const std::string text = RenderMetrics(AwkwardCollection());
    const auto samples = ParseExposition(text);
    EXPECT_EQ(Find(samples, "vtutility_drive_info", {{"disk", "1"}, {"serial", "SN"}}), 1);
    EXPECT_EQ(
        Find(samples, "vtutility_drive_info", {{"model", "Model \"X\" \\ 2\n\xC3\xA9t\xC3\xA9"}}),
        1);
    EXPECT_EQ(Find(samples, "vtutility_smart_attribute_raw_value", {{"id", "9"}}),
              281474976710655.0);
    EXPECT_EQ(Find(samples, "vtutility_controller_mode", {{"disk", "2"}, {"mode", "loader"}}), 1);
    EXPECT_EQ(Find(samples, "vtutility_drive_read_success", {{"disk", "2"}}), 0);
    EXPECT_FALSE(Find(samples, "vtutility_erase_count_average", {{"disk", "2"}}));
    EXPECT_EQ(Find(samples, "vtutility_flash_info", {{"disk", "1"}, {"flash_type", "MLC"}}), 1);
    EXPECT_FALSE(Find(samples, "vtutility_flash_info", {{"disk", "2"}}));  // no SSD Info page
    EXPECT_EQ(
        Find(samples, "vtutility_system_bad_units_by_error", {{"ce", "1"}, {"error", "prog_fail"}}),
        1);
    const auto check = PromtoolCheck(text, dir);
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_EQ(check.out, "") << "promtool's lint found something";
    // And promtool is no rubber stamp: a counter without _total and a broken line fail.
    EXPECT_NE(PromtoolCheck("# HELP vt_x X.\n# TYPE vt_x counter\nvt_x 1\n", dir).out, "");
    EXPECT_NE(PromtoolCheck("vt_x{a=\"b} 1\n", dir).status, 0);
}

// The demo bench, the tests' bench file, and a bench whose second drive fails its S.M.A.R.T. read.
TEST(VtutilMetrics, PromtoolAcceptsWhatVtutilWritesForEveryBench) {
    test::ScopedTempDir dir;
    std::ofstream(dir.File("failing.json"))
        << R"({"drives": [{"bus": "ide", "model": "K14", "serial": "OK\"1\\"},
                          {"bus": "ide", "model": "K38",
                           "faults": [{"op": "ata:B0", "effect": "fail"}]}]})";
    for (const std::string& backend :
         {std::string("--demo"),
          "--bench " + std::string(VT_SOURCE_DIR) + "/sim/benches/two-drives.json",
          "--bench " + dir.File("failing.json")}) {
        const auto run = Vtutil(backend + " metrics");
        EXPECT_FALSE(run.out.empty()) << backend;
        const auto check = PromtoolCheck(run.out, dir);
        EXPECT_EQ(check.status, 0) << backend << "\n" << check.out;
        EXPECT_EQ(check.out, "") << backend;
        const auto samples = ParseExposition(run.out);
        EXPECT_TRUE(Find(samples, "vtutility_collection_duration_seconds", {}));
        EXPECT_TRUE(Find(samples, "vtutility_drive_read_success", {{"disk", "1"}})) << backend;
    }
    const auto failing = Vtutil("--bench " + dir.File("failing.json") + " metrics");
    EXPECT_EQ(failing.status, 3);
    const auto samples = ParseExposition(failing.out);
    EXPECT_EQ(Find(samples, "vtutility_drive_read_success", {{"disk", "1"}}), 1);
    EXPECT_EQ(Find(samples, "vtutility_drive_read_success", {{"disk", "2"}}), 0);
    EXPECT_EQ(
        Find(samples, "vtutility_drive_page_read_success", {{"disk", "2"}, {"page", "smart"}}), 0);
    EXPECT_TRUE(Find(samples, "vtutility_erase_count_average", {{"disk", "2"}}));  // still written
    EXPECT_EQ(Find(samples, "vtutility_drive_info", {{"serial", "OK\"1\\"}}), 1);
}

TEST(VtutilMetrics, OutputReplacesTheFileWholeOrNotAtAll) {
    test::ScopedTempDir dir;
    const std::string target = dir.File("vtutility.prom");
    std::ofstream(target) << "old\n";
    EXPECT_EQ(Vtutil("--demo metrics --output " + target).status, 3);  // the demo's loader drive
    const auto written = test::ReadAll(target);
    const std::string text(written.begin(), written.end());
    EXPECT_EQ(text.rfind("# HELP vtutility_", 0), 0u);
    EXPECT_EQ(Shell("ls -A " + dir.path()).out, "vtutility.prom\n");  // no temporary file left
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // the node exporter runs as another user
    EXPECT_EQ(Vtutil("--demo metrics --output " + dir.File("missing/vtutility.prom")).status, 5);
    ::chmod(dir.path().c_str(), 0555);
    if (::access(dir.File("probe").c_str(), F_OK) != 0 &&
        std::ofstream(dir.File("probe")).fail()) {  // root writes anyway; then skip this part
        EXPECT_EQ(Vtutil("--demo metrics --output " + target).status, 5);
        EXPECT_EQ(test::ReadAll(target), written);
    }
    ::chmod(dir.path().c_str(), 0755);
}

// The real node exporter, serving only its textfile collector on a free loopback port.
test::LoopbackService NodeExporter(const std::string& textfile_dir, const std::string& log) {
    return {"/usr/bin/prometheus-node-exporter",
            {"--web.listen-address=127.0.0.1:{port}", "--collector.disable-defaults",
             "--collector.textfile", "--collector.textfile.directory=" + textfile_dir},
            log};
}

TEST(VtutilMetrics, NodeExporterServesTheDrivesWithTheValuesOfTheirJson) {
    ASSERT_EQ(::access("/usr/bin/prometheus-node-exporter", X_OK), 0)
        << "scripts/install-deps.sh installs prometheus-node-exporter";
    test::ScopedTempDir dir;
    ::mkdir(dir.File("textfile").c_str(), 0755);
    Vtutil("--demo metrics --output " + dir.File("textfile/vtutility.prom"));
    const auto exporter = NodeExporter(dir.File("textfile"), dir.File("exporter.log"));
    const auto body = exporter.WaitFor("/metrics");
    ASSERT_TRUE(body) << Shell("cat " + dir.File("exporter.log")).out;
    const auto samples = ParseExposition(*body);
    // The textfile collector read the file without complaint.
    EXPECT_EQ(Find(samples, "node_textfile_scrape_error", {}), 0);
    const auto list = nlohmann::json::parse(Vtutil("--demo list --json").out, nullptr, false);
    ASSERT_TRUE(list.is_object());
    std::size_t compared = 0;
    for (const auto& row : list["rows"]) {
        const std::string disk = std::to_string(row["number"].get<int>());
        EXPECT_EQ(Find(samples, "vtutility_drive_info",
                       {{"disk", disk},
                        {"serial", row["serial"]},
                        {"model", row["model"]},
                        {"path", row["path"]}}),
                  1)
            << disk;
        EXPECT_EQ(Find(samples, "vtutility_drive_capacity_bytes", {{"disk", disk}}),
                  row["capacity_bytes"].get<double>());
        const auto erase = nlohmann::json::parse(
            Vtutil("--demo erase-count " + disk + " --json").out, nullptr, false);
        if (!erase.contains("page")) continue;  // the loader drive: no pages
        const auto& page = erase["page"];
        const auto ssd_info =
            nlohmann::json::parse(Vtutil("--demo ssd-info " + disk + " --json").out);
        EXPECT_EQ(Find(samples, "vtutility_flash_info",
                       {{"disk", disk}, {"flash_type", ssd_info["page"]["flash_type"]}}),
                  1);
        EXPECT_EQ(Find(samples, "vtutility_erase_count_average", {{"disk", disk}}),
                  page["erase_count_average"].get<double>());
        EXPECT_EQ(Find(samples, "vtutility_erase_count_max", {{"disk", disk}}),
                  page["erase_count_maximum"].get<double>());
        double cells = 0, sum = 0;
        for (const auto& block : page["blocks"]) {
            for (const auto& count : block["counts"]) {
                if (count.is_null()) continue;
                ++cells;
                sum += count.get<double>();
            }
        }
        EXPECT_EQ(Find(samples, "vtutility_block_erases_count", {{"disk", disk}}), cells);
        EXPECT_EQ(Find(samples, "vtutility_block_erases_sum", {{"disk", disk}}), sum);
        const auto bad = nlohmann::json::parse(Vtutil("--demo bad-blocks " + disk + " --json").out);
        for (const auto& place : bad["page"]["summary"]) {
            const std::map<std::string, std::string> at = {
                {"disk", disk},
                {"channel", std::to_string(place["channel"].get<int>())},
                {"ce", std::to_string(place["ce"].get<int>())}};
            const auto& c = place["counts"];
            auto with = [&](const char* k, const char* v) {
                auto labels = at;
                labels[k] = v;
                return labels;
            };
            EXPECT_EQ(Find(samples, "vtutility_factory_bad_blocks", with("kind", "early")),
                      c["factory_early_bad"].get<double>());
            EXPECT_EQ(Find(samples, "vtutility_factory_bad_blocks", with("kind", "later")),
                      c["factory_later_bad"].get<double>());
            EXPECT_EQ(Find(samples, "vtutility_system_bad_units", with("kind", "early")),
                      c["system_early_bad"].get<double>());
            EXPECT_EQ(Find(samples, "vtutility_system_bad_units", with("kind", "later")),
                      c["system_later_bad"].get<double>());
            EXPECT_EQ(
                Find(samples, "vtutility_system_bad_units_by_error", with("error", "ecc_fail")),
                c["ecc_fail"].get<double>());
        }
        double remapped = 0;
        for (const auto& entry : bad["page"]["detail"])
            remapped += entry.value("remapped", false) ? 1 : 0;
        EXPECT_EQ(Find(samples, "vtutility_remapped_units", {{"disk", disk}}), remapped);
        const auto smart = nlohmann::json::parse(Vtutil("--demo smart " + disk + " --json").out);
        for (const auto& a : smart["page"]["attributes"]) {
            const std::map<std::string, std::string> at = {
                {"disk", disk}, {"id", std::to_string(a["id"].get<int>())}};
            EXPECT_EQ(Find(samples, "vtutility_smart_attribute_value", at),
                      a["value"].get<double>());
            EXPECT_EQ(Find(samples, "vtutility_smart_attribute_worst", at),
                      a["worst"].get<double>());
            EXPECT_EQ(Find(samples, "vtutility_smart_attribute_threshold", at),
                      a["threshold"].get<double>());
            EXPECT_EQ(Find(samples, "vtutility_smart_attribute_raw_value", at),
                      a["raw"].get<double>());
        }
        ++compared;
    }
    EXPECT_GT(compared, 0u);
}

}  // namespace
}  // namespace vt
