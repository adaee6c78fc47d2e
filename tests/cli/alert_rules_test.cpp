// The shipped alerting rules in the real Prometheus: it scrapes the real node exporter, whose
// textfile directory vtutil fills from a bench before and after a change of its drives, and each
// alert must come up for its drive and no other.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <tuple>

#include "tests/cli/loopback_service.h"
#include "tests/cli/run_vtutil.h"
#include "tests/support/fake_backend.h"

namespace vt {
namespace {

using nlohmann::json;

// Six drives, each made to set off one alert, and a healthy one. After the change drive 2 has two
// more later bad units (prog_fail and erase_fail), drive 3 has worn by 1000 erases in seconds,
// and drive 7 is gone.
std::string Bench(bool after) {
    const std::string later =
        after ? R"([{"channel": 0, "ce": 0, "unit": 100, "type": "prog_fail"},
                    {"channel": 1, "ce": 0, "unit": 101, "type": "prog_fail"},
                    {"channel": 0, "ce": 1, "unit": 102, "type": "erase_fail"}])"
              : R"([{"channel": 0, "ce": 0, "unit": 100, "type": "prog_fail"}])";
    return R"({"drives": [
      {"bus": "ide", "model": "K14", "serial": "HEALTHY",
       "bad_blocks": {"random": {"factory": 4, "early": 2, "later": 3, "seed": 5}}},
      {"bus": "ide", "model": "K14", "serial": "GROWING", "bad_blocks": {"later": )" +
           later + R"(}},
      {"bus": "ide", "model": "K14", "serial": "WEARING",
       "wear": {"average": )" +
           (after ? "1100" : "100") + R"(, "spread": 20, "seed": 2}},
      {"bus": "ide", "model": "K38", "serial": "LOADER", "mode": "loader"},
      {"bus": "ide", "model": "K14", "serial": "SMARTLOW",
       "smart": {"attributes": [{"id": 5, "value": 10, "worst": 10, "threshold": 10}]}},
      {"bus": "ide", "model": "K14", "serial": "FAILING",
       "faults": [{"op": "ata:B0", "effect": "fail"}]})" +
           (after ? "" : R"(, {"bus": "ide", "model": "K14", "serial": "VANISHING"})") + "]}";
}

// Polls until `done` holds, for at most a minute.
template <typename Done>
bool Until(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

// The data of an API answer; null when it failed.
json Api(const test::LoopbackService& prometheus, const std::string& path) {
    const json answer = json::parse(prometheus.Get(path).value_or(""), nullptr, false);
    return answer.is_object() && answer.value("status", "") == "success" ? answer["data"] : json();
}

// An alert as the checks name it: its name, state, drive serial and the label that tells its
// cases apart (the error of bad units, the S.M.A.R.T. attribute).
using Seen = std::tuple<std::string, std::string, std::string, std::string>;

std::set<Seen> Alerts(const test::LoopbackService& prometheus) {
    std::set<Seen> seen;
    const json data = Api(prometheus, "/api/v1/alerts");
    if (!data.is_object()) return seen;
    for (const auto& alert : data["alerts"]) {
        const auto& l = alert["labels"];
        seen.emplace(l.value("alertname", ""), alert.value("state", ""), l.value("serial", ""),
                     l.value("error", l.value("id", "")));
    }
    return seen;
}

std::string Text(const std::set<Seen>& alerts) {
    std::string text;
    for (const auto& [name, state, serial, detail] : alerts)
        text += "  " + name + " " + state + " " + serial + " " + detail + "\n";
    return text;
}

TEST(AlertRules, PrometheusRaisesEachAlertForItsDriveOnly) {
    for (const char* program : {"/usr/bin/prometheus", "/usr/bin/prometheus-node-exporter"})
        ASSERT_EQ(::access(program, X_OK), 0) << program << ": scripts/install-deps.sh installs it";
    test::ScopedTempDir dir;
    ::mkdir(dir.File("textfile").c_str(), 0755);
    const auto collect = [&](bool after) {
        std::ofstream(dir.File("bench.json")) << Bench(after);
        // 3: the loader drive and the failing one; the metrics are written all the same.
        return test::Vtutil("--bench " + dir.File("bench.json") + " metrics --output " +
                            dir.File("textfile/vtutility.prom"))
            .status;
    };
    ASSERT_EQ(collect(false), 3);
    const test::LoopbackService exporter(
        "/usr/bin/prometheus-node-exporter",
        {"--web.listen-address=127.0.0.1:{port}", "--collector.disable-defaults",
         "--collector.textfile", "--collector.textfile.directory=" + dir.File("textfile")},
        dir.File("exporter.log"));
    // Scrapes and evaluations every second, so that two collections are seconds apart.
    std::ofstream(dir.File("prometheus.yml"))
        << "global: {scrape_interval: 1s, evaluation_interval: 1s}\n"
        << "rule_files: ['" << VT_SOURCE_DIR << "/packaging/prometheus/vtutility.rules.yml']\n"
        << "scrape_configs: [{job_name: node, static_configs: [{targets: ['127.0.0.1:"
        << exporter.port() << "']}]}]\n";
    const test::LoopbackService prometheus(
        "/usr/bin/prometheus",
        {"--config.file=" + dir.File("prometheus.yml"), "--storage.tsdb.path=" + dir.File("tsdb"),
         "--web.listen-address=127.0.0.1:{port}"},
        dir.File("prometheus.log"));
    const auto log = [&] { return test::Shell("tail -n 20 " + dir.File("*.log")).out; };
    ASSERT_TRUE(exporter.WaitFor("/metrics") && prometheus.WaitFor("/-/ready")) << log();

    // The first collection's alerts: its samples are then recorded too (min_over_time and deriv
    // need them), since recordings come first in the rule group.
    std::set<Seen> seen;
    const std::set<Seen> first = {
        {"VtutilityControllerInLoader", "firing", "", ""},
        {"VtutilitySmartAttributeAtThreshold", "firing", "SMARTLOW", "5"}};
    ASSERT_TRUE(Until([&] { return (seen = Alerts(prometheus)) == first; })) << Text(seen) << log();
    ASSERT_EQ(collect(true), 3);

    // Every alert whose rule has no `for:` fires at once; the forecast waits an hour pending. One
    // that lapses for an evaluation (a scrape that timed out on a busy machine) comes back with
    // the next; one that ever comes up for another drive is a fault.
    std::set<Seen> expected = first;
    expected.insert({{"VtutilityDriveReadFailing", "firing", "FAILING", ""},
                     {"VtutilityDriveVanished", "firing", "VANISHING", ""},
                     {"VtutilityLaterBadUnitsGrewInADay", "firing", "GROWING", "prog_fail"},
                     {"VtutilityLaterBadUnitsGrewInADay", "firing", "GROWING", "erase_fail"},
                     {"VtutilityEraseLimitForecast", "pending", "WEARING", ""}});
    std::set<Seen> ever;
    const auto look = [&] {
        seen = Alerts(prometheus);
        ever.insert(seen.begin(), seen.end());
        return seen == expected;
    };
    ASSERT_TRUE(Until(look)) << "expected:\n" << Text(expected) << "seen:\n" << Text(seen);
    const auto last_evaluation = [&] {
        const json rules = Api(prometheus, "/api/v1/rules");
        return rules.contains("groups") && !rules["groups"].empty()
                   ? rules["groups"][0].value("lastEvaluation", "")
                   : "";
    };
    for (int evaluations = 0; evaluations < 2; ++evaluations) {
        const std::string last = last_evaluation();
        ASSERT_TRUE(Until([&] {
            look();
            return last_evaluation() != last;
        }));
    }
    EXPECT_EQ(ever, expected) << "seen at some time:\n" << Text(ever);

    // The alerts name the drive for the technician: labels joined from its info, texts filled in.
    const json alerts = Api(prometheus, "/api/v1/alerts");
    ASSERT_TRUE(alerts.contains("alerts"));
    for (const auto& alert : alerts["alerts"]) {
        const auto& labels = alert["labels"];
        EXPECT_TRUE(labels.contains("severity") && labels.contains("disk")) << labels.dump();
        EXPECT_FALSE(alert["annotations"].value("runbook", "").empty()) << labels.dump();
        if (labels["alertname"] == "VtutilitySmartAttributeAtThreshold") {
            EXPECT_EQ(labels.value("model", ""), "Vantrel VTK14 SSD");
            EXPECT_EQ(alert["annotations"].value("summary", ""),
                      "Drive 5 (SMARTLOW) on " + labels.value("instance", "") +
                          ": S.M.A.R.T. attribute 5 Re-allocated Sector Count at its threshold");
        }
    }
}

}  // namespace
}  // namespace vt
