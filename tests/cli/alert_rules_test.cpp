// The shipped alerting rules in the real Prometheus: it scrapes the real node exporter, whose
// textfile directory vtutil fills from a bench before and after a change of its drives, and each
// alert must come up for its drive and no other.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <map>
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

// Seven drives, each made to set off one alert, and a healthy one. After the change drive 2 has
// two more later bad units (prog_fail and erase_fail), drive 3 has worn by 1000 erases in
// seconds, and drive 7 is gone.
std::string Bench(bool after) {
    const std::string later =
        after ? R"([{"channel": 0, "ce": 0, "unit": 100, "type": "prog_fail"},
                    {"channel": 1, "ce": 0, "unit": 101, "type": "prog_fail"},
                    {"channel": 0, "ce": 1, "unit": 102, "type": "erase_fail"}])"
              : R"([{"channel": 0, "ce": 0, "unit": 100, "type": "prog_fail"}])";
    std::string drives = R"(
      {"bus": "ide", "model": "K14", "serial": "HEALTHY",
       "bad_blocks": {"random": {"factory": 4, "early": 2, "later": 3, "seed": 5}}},
      {"bus": "ide", "model": "K14", "serial": "GROWING", "bad_blocks": {"later": )" +
                         later + R"(}},
      {"bus": "ide", "model": "K14", "serial": "WEARING",
       "wear": {"average": )" +
                         std::string(after ? "1100" : "100") +
                         R"(, "spread": 20, "seed": 2}},
      {"bus": "ide", "model": "K38", "serial": "LOADER", "mode": "loader"},
      {"bus": "ide", "model": "K14", "serial": "SMARTLOW",
       "smart": {"attributes": [{"id": 5, "value": 10, "worst": 10, "threshold": 10}]}},
      {"bus": "ide", "model": "K14", "serial": "FAILING",
       "faults": [{"op": "ata:B0", "effect": "fail"}]})";
    if (!after)
        drives += R"(,
      {"bus": "ide", "model": "K14", "serial": "VANISHING"})";
    return R"({"drives": [)" + drives + "]}";
}

std::string UrlEncoded(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '_' || c == '-' || c == '.') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

class Prometheus {
  public:
    Prometheus(const test::ScopedTempDir& dir, int exporter_port)
        : server_(
              "/usr/bin/prometheus",
              {"--config.file=" + Config(dir, exporter_port),
               "--storage.tsdb.path=" + dir.File("tsdb"), "--web.listen-address=127.0.0.1:{port}"},
              dir.File("prometheus.log")) {}

    bool Ready() const { return server_.WaitFor("/-/ready").has_value(); }

    json Api(const std::string& path) const {
        const auto body = server_.Get(path);
        const json answer = json::parse(body.value_or(""), nullptr, false);
        return answer.is_object() && answer.value("status", "") == "success" ? answer["data"]
                                                                             : json();
    }
    // The instant vector of a query; empty when it failed.
    json Query(const std::string& query) const {
        const json data = Api("/api/v1/query?query=" + UrlEncoded(query));
        return data.is_object() ? data["result"] : json::array();
    }
    // Polls until `done` holds, or for at most a minute.
    template <typename Done>
    bool Until(Done done) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }
    // When the rule group last ran, as Prometheus writes it.
    std::string LastEvaluation() const {
        const json data = Api("/api/v1/rules");
        return data.is_object() && !data["groups"].empty()
                   ? data["groups"][0].value("lastEvaluation", "")
                   : "";
    }

  private:
    // Scrapes and rule evaluations every second, so that two collections are seconds apart.
    static std::string Config(const test::ScopedTempDir& dir, int exporter_port) {
        std::ofstream(dir.File("prometheus.yml"))
            << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
            << "rule_files:\n  - " << VT_SOURCE_DIR << "/packaging/prometheus/vtutility.rules.yml\n"
            << "scrape_configs:\n  - job_name: node\n    static_configs:\n"
            << "      - targets: ['127.0.0.1:" << exporter_port << "']\n";
        return dir.File("prometheus.yml");
    }

    test::LoopbackService server_;
};

// An alert as the checks name it: its name, state, drive serial and the label that tells its
// cases apart (the error of bad units, the S.M.A.R.T. attribute).
using Seen = std::tuple<std::string, std::string, std::string, std::string>;

std::set<Seen> AlertsOf(const json& data) {
    std::set<Seen> seen;
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
        const std::string bench = dir.File(after ? "after.json" : "before.json");
        std::ofstream(bench) << Bench(after);
        // 3: the loader drive and the failing one; the metrics are written all the same.
        return test::Vtutil("--bench " + bench + " metrics --output " +
                            dir.File("textfile/vtutility.prom"))
            .status;
    };
    ASSERT_EQ(collect(false), 3);
    const test::LoopbackService exporter(
        "/usr/bin/prometheus-node-exporter",
        {"--web.listen-address=127.0.0.1:{port}", "--collector.disable-defaults",
         "--collector.textfile", "--collector.textfile.directory=" + dir.File("textfile")},
        dir.File("exporter.log"));
    ASSERT_TRUE(exporter.WaitFor("/metrics")) << test::Shell("cat " + dir.File("exporter.log")).out;
    const Prometheus prometheus(dir, exporter.port());
    ASSERT_TRUE(prometheus.Ready()) << test::Shell("cat " + dir.File("prometheus.log")).out;

    // The rules have recorded the first collection (min_over_time and deriv need it) before
    // the second one replaces it.
    ASSERT_TRUE(prometheus.Until([&] {
        return !prometheus
                    .Query("drive:vtutility_system_bad_units_by_error:sum{serial=\"GROWING\"}")
                    .empty();
    })) << test::Shell("cat " + dir.File("prometheus.log")).out;
    ASSERT_EQ(collect(true), 3);

    // Every alert whose rule has no `for:` fires at once; the forecast waits an hour pending.
    const std::set<Seen> expected = {
        {"VtutilityControllerInLoader", "firing", "", ""},
        {"VtutilitySmartAttributeAtThreshold", "firing", "SMARTLOW", "5"},
        {"VtutilityDriveReadFailing", "firing", "FAILING", ""},
        {"VtutilityDriveVanished", "firing", "VANISHING", ""},
        {"VtutilityLaterBadUnitsGrewInADay", "firing", "GROWING", "prog_fail"},
        {"VtutilityLaterBadUnitsGrewInADay", "firing", "GROWING", "erase_fail"},
        {"VtutilityEraseLimitForecast", "pending", "WEARING", ""},
    };
    // An alert whose expression lapses for one evaluation (a scrape that timed out on a busy
    // machine) comes back with the next; one that ever comes up for another drive is a fault.
    std::set<Seen> seen, ever;
    const auto look = [&] {
        seen = AlertsOf(prometheus.Api("/api/v1/alerts"));
        ever.insert(seen.begin(), seen.end());
        return seen == expected;
    };
    ASSERT_TRUE(prometheus.Until(look)) << "expected:\n"
                                        << Text(expected) << "seen:\n"
                                        << Text(seen);
    for (int evaluations = 0; evaluations < 2; ++evaluations) {
        const std::string last = prometheus.LastEvaluation();
        ASSERT_TRUE(prometheus.Until([&] {
            look();
            return prometheus.LastEvaluation() != last;
        }));
    }
    EXPECT_EQ(ever, expected) << "seen at some time:\n" << Text(ever);

    // The alerts name the drive for the technician: labels joined from its info, texts filled in.
    for (const auto& alert : prometheus.Api("/api/v1/alerts")["alerts"]) {
        const auto& labels = alert["labels"];
        const auto& annotations = alert["annotations"];
        EXPECT_TRUE(labels.contains("severity") && labels.contains("disk")) << labels.dump();
        EXPECT_FALSE(annotations.value("runbook", "").empty()) << labels.dump();
        if (labels["alertname"] == "VtutilitySmartAttributeAtThreshold") {
            EXPECT_EQ(labels.value("model", ""), "Vantrel VTK14 SSD");
            EXPECT_EQ(annotations.value("summary", ""),
                      "Drive 5 (SMARTLOW) on " + labels.value("instance", "") +
                          ": S.M.A.R.T. attribute 5 Re-allocated Sector Count at its threshold");
        }
    }
    // The wear rate the forecast rests on: positive for the drive that wore, none elsewhere.
    const json rates = prometheus.Query("drive:vtutility_erase_count_max:deriv1w_per_day > 0");
    ASSERT_EQ(rates.size(), 1u) << rates.dump();
    EXPECT_EQ(rates[0]["metric"].value("serial", ""), "WEARING");
}

}  // namespace
}  // namespace vt
