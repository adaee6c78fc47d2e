// One page read on its own: what reaches the drive, and what stops the read.

#include "pages/page_reads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "access/mode_flags.h"
#include "sim/command_log.h"
#include "tests/support/scoped_bench.h"
#include "vendor/carrier.h"

namespace vt {
namespace {

using nlohmann::json;

json Drive(json extra = json::object()) {
    json drive = {{"bus", "ide"}, {"model", "K38"}, {"build", "3"}, {"revision", "43"}};
    drive.update(extra);
    return drive;
}

std::vector<std::string> VendorNames(test::ScopedBench& bench) {
    std::vector<std::string> names;
    for (const auto& command : bench.Vendor(0))
        names.push_back(sim::VendorCommandName(command.sub_command, command.direction));
    return names;
}

bool Sent(const std::vector<std::string>& names, const std::string& name) {
    return std::ranges::find(names, name) != names.end();
}

PageRead Read(std::initializer_list<Page> pages) {
    CarrierMode = 2;
    return ReadPages(0, std::vector<Page>(pages), false);
}

TEST(PageReads, EachPageSendsOnlyWhatItShows) {
    test::ScopedBench bench(json::array({Drive()}));
    const auto smart = Read({Page::Smart});
    EXPECT_TRUE(smart.messages.empty());
    EXPECT_TRUE(smart.models.smart && smart.system_info);
    EXPECT_FALSE(smart.models.ssd_info || smart.models.erase_count || smart.models.bad_blocks ||
                 smart.models.firmware_log || smart.models.config_dump);
    // The loader check is its one IDENTIFY: the capacity is the SSD Info page's.
    const auto& log = bench.bench().Log(0);
    EXPECT_EQ(std::ranges::count_if(log,
                                    [](const sim::LoggedCommand& command) {
                                        return command.kind == sim::CommandKind::Ata &&
                                               command.opcode == 0xEC;
                                    }),
              1);
    auto names = VendorNames(bench);
    for (const char* table : {"ReadBadBlockTable", "ReadEraseCount", "ReadDramLayout"})
        EXPECT_FALSE(Sent(names, table)) << table;

    bench.bench().ClearLog();
    const auto info = Read({Page::DeviceInfo});
    EXPECT_TRUE(info.models.device_info);
    EXPECT_FALSE(Sent(VendorNames(bench), "ReadSystemPage"));

    bench.bench().ClearLog();
    const auto erase = Read({Page::EraseCount});
    ASSERT_TRUE(erase.models.erase_count);
    EXPECT_FALSE(erase.models.bad_blocks);  // read for its marks, not kept
    names = VendorNames(bench);
    EXPECT_TRUE(Sent(names, "ReadBadBlockTable") && Sent(names, "ReadEraseCount"));
}

// Another page's failure does not fail the one asked for; a failure of what all pages rest on
// stops the read with the refresh's message.
TEST(PageReads, FailuresStopOnlyThePagesThatNeedWhatFailed) {
    {
        test::ScopedBench bench(
            json::array({Drive({{"faults", {{{"op", "vendor:01"}, {"effect", "fail"}}}}})}));
        const auto smart = Read({Page::Smart});
        EXPECT_TRUE(smart.messages.empty());
        EXPECT_TRUE(smart.models.smart);
        EXPECT_FALSE(Read({Page::EraseCount}).models.erase_count);
    }
    {
        test::ScopedBench bench(
            json::array({Drive({{"faults", {{{"op", "vendor:86"}, {"effect", "fail"}}}}})}));
        const auto smart = Read({Page::Smart});
        EXPECT_EQ(smart.messages, std::vector<std::string>{kNoCodeBlock});
        EXPECT_FALSE(smart.models.smart);
        EXPECT_TRUE(Read({Page::DeviceInfo}).models.device_info);
    }
    {
        test::ScopedBench bench(json::array({Drive({{"mode", "loader"}})}));
        const auto smart = Read({Page::Smart});
        EXPECT_TRUE(smart.loader);
        EXPECT_EQ(smart.messages, std::vector<std::string>{kNotInSystemMode});
        EXPECT_FALSE(smart.models.smart || smart.system_info);
        EXPECT_FALSE(Read({Page::DeviceInfo}).models.device_info);  // as the refresh
    }
}

}  // namespace
}  // namespace vt
