// vtutil with its drive access forwarded to the helper program serving a bench: every command
// must print what it prints on the same bench in process, failures and all.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/fake_backend.h"

#include "tests/cli/run_vtutil.h"

namespace vt {
namespace {

using Finished = test::Run;

// Standard output and error together.
Finished Shell(const std::string& command) {
    return test::Shell(command + " 2>&1");
}

// The same command in process on the bench, and through a helper serving that bench.
void ExpectSameBothWays(const std::string& bench_option, const std::string& helper_mode,
                        const std::string& arguments) {
    const Finished direct = Shell(std::string(VTUTIL_PATH) + " " + bench_option + " " + arguments);
    const Finished forwarded = Shell("VTUTIL_HELPER='" + std::string(VT_HELPER_PATH) + " " +
                                     helper_mode + "' " + VTUTIL_PATH + " " + arguments);
    EXPECT_EQ(forwarded.status, direct.status) << arguments;
    EXPECT_EQ(forwarded.out, direct.out) << arguments;
    EXPECT_FALSE(direct.out.empty()) << arguments;
}

TEST(HelperForwarding, EveryPageRefreshAndTheSelfTestOnTheDemoBench) {
    test::ScopedTempDir dir;
    for (const char* arguments :
         {"list --json", "probe", "info 1 --json", "ssd-info 1", "erase-count 2 --json",
          "bad-blocks 1", "smart 1 --json", "smart 3", "uart-log 1", "uart-log 2 --json",
          "config-dump 1", "info 4", "info 9", "rwtest 1 --yes --json"}) {
        ExpectSameBothWays("--demo", "--serve-demo", arguments);
    }
    // The window's refresh of every row, as the desktop program runs it.
    for (int row = 0; row < 5; ++row)
        ExpectSameBothWays("--demo", "--serve-demo",
                           "window --select " + std::to_string(row) + " --json");
}

TEST(HelperForwarding, FailingDrivesFailAlikeThroughTheHelper) {
    test::ScopedTempDir dir;
    std::ofstream(dir.File("failing.json"))
        << R"({"drives": [{"bus": "ide", "model": "K38", "capacity_sectors": 4194304,
               "faults": [{"op": "ata:CA", "skip": 3, "effect": "fail"}]}]})";
    std::ofstream(dir.File("gone.json"))
        << R"({"drives": [{"bus": "ide", "model": "K38", "faults": [{"op": "ata:C8", "effect": "gone"}]}]})";
    for (const char* bench : {"failing.json", "gone.json"}) {
        const std::string file = dir.File(bench);
        for (const char* arguments : {"rwtest 1 --yes", "smart 1", "uart-log 1 --json"})
            ExpectSameBothWays("--bench " + file, "--serve-bench " + file, arguments);
    }
}

TEST(HelperForwarding, AHelperThatDoesNotStartIsAnError) {
    const Finished run =
        Shell("VTUTIL_HELPER=/nonexistent/vtutility-helper " + std::string(VTUTIL_PATH) + " list");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("the drive access helper did not start"), std::string::npos) << run.out;
    // The bench options never start a helper.
    EXPECT_EQ(Shell("VTUTIL_HELPER=/nonexistent/vtutility-helper " + std::string(VTUTIL_PATH) +
                    " --demo list")
                  .status,
              0);
}

}  // namespace
}  // namespace vt
