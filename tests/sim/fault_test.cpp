// Injected faults: a chosen command fails, never completes, or takes its disk away.

#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "access/ata_passthrough.h"
#include "access/device_tables.h"
#include "access/dispatch.h"
#include "tests/sim/bench_fixture.h"

namespace vt::test {
namespace {

using nlohmann::json;

json WithFaults(json drive, json faults) {
    drive["faults"] = std::move(faults);
    return json::array({drive});
}

const json kSata = {{"bus", "ide"}, {"model", "K38"}};

class Faults : public BenchTest {};

TEST_F(Faults, VendorFaultHitsAfterItsSkipForItsCount) {
    Install(
        WithFaults(kSata, {{{"op", "vendor:86"}, {"skip", 1}, {"count", 2}, {"effect", "fail"}}}));
    ASSERT_EQ(Unlock(0), 1);
    std::array<std::uint8_t, 512> data{};
    std::vector<bool> results;
    for (int i = 0; i < 4; ++i) results.push_back(Vendor(0, VendorBlock(0x86, {3}), true, data, 1));
    EXPECT_EQ(results, (std::vector<bool>{true, false, false, true}));
    // Other sub-commands are not counted.
    EXPECT_TRUE(Vendor(0, VendorBlock(0x84), true, data, 1));
    EXPECT_EQ(bench().VendorLog(0)[1].fault, "fail");
}

TEST_F(Faults, FailingAtaCommandEndsWithAbort) {
    Install(WithFaults(kSata, {{{"op", "ata:EC"}, {"effect", "fail"}}}));
    TaskFile identify{0, 1, 0, 0, 0, 0xA0, 0xEC, 0};
    std::array<std::uint8_t, 512> data{};
    EXPECT_EQ(ReadATACommandWithTimeOutValue(bench().PathOf(0), identify, data, 512, 10), 0);
    EXPECT_EQ(identify[6], 0x51);
    EXPECT_EQ(identify[0], 0x04);
}

TEST_F(Faults, CarrierOpcodesCountAsAtaCommands) {
    Install(WithFaults(kSata, {{{"op", "ata:86"}, {"effect", "fail"}}}));
    ASSERT_EQ(Unlock(0), 1);
    std::array<std::uint8_t, 512> data{};
    EXPECT_FALSE(Vendor(0, VendorBlock(0x86, {3}), true, data, 1, 2));
    EXPECT_TRUE(Vendor(0, VendorBlock(0x86, {3}), true, data, 1, 1));
}

TEST_F(Faults, TimeoutAdvancesTheVirtualClockNotTheRealOne) {
    Install(WithFaults(kSata, {{{"op", "ata:EF"}, {"effect", "timeout"}}}));
    const auto real_start = std::chrono::steady_clock::now();
    const auto start = clock().Now();
    EXPECT_EQ(Unlock(0), 0);  // longer than the time-out
    EXPECT_GT(clock().Now() - start, 10000u);
    EXPECT_LT(std::chrono::steady_clock::now() - real_start, std::chrono::seconds(2));
    EXPECT_EQ(bench().Log(0).back().fault, "timeout");
}

TEST_F(Faults, GoneDiskNoLongerOpensAndLeavesTheListOnRescan) {
    Install(WithFaults({{"bus", "usb"}, {"bridge", "older"}, {"model", "K35"}},
                       {{{"op", "scsi:12"}, {"skip", 1}, {"effect", "gone"}}}));
    const Block inquiry = {0x12, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0};
    std::array<std::uint8_t, 40> data{};
    EXPECT_EQ(DispatchCommand(0, true, inquiry, data, 40), 1);
    EXPECT_NE(DispatchCommand(0, true, inquiry, data, 40), 1);
    platform::DeviceHandle handle(bench().PathOf(0));
    EXPECT_FALSE(handle.IsOpen());
    EXPECT_EQ(platform::Current().ListDisks().size(), 1u);
    std::string report;
    EXPECT_TRUE(platform::Current().Rescan(report));
    EXPECT_TRUE(platform::Current().ListDisks().empty());
}

TEST_F(Faults, DirectVendorBlockFailsWithIllegalRequest) {
    Install(WithFaults({{"bus", "usb"}, {"bridge", "older"}, {"model", "K35"}},
                       {{{"op", "vendor:86"}, {"count", 1}, {"effect", "fail"}}}));
    std::array<std::uint8_t, 512> data{};
    EXPECT_FALSE(Vendor(0, VendorBlock(0x86, {3}), true, data, 1));
    EXPECT_TRUE(Vendor(0, VendorBlock(0x86, {3}), true, data, 1));
}

TEST_F(Faults, SilentAndGoneDisks) {
    Install(
        json::array({{{"bus", "ide"}, {"state", "silent"}}, {{"bus", "ide"}, {"state", "gone"}}}));
    const auto start = clock().Now();
    std::array<std::uint8_t, 512> id{};
    EXPECT_NE(Identify(0, id), 1);
    EXPECT_GT(clock().Now() - start, 10000u);
    EXPECT_EQ(platform::Current().ListDisks().size(), 2u);
    platform::DeviceHandle gone(bench().PathOf(1));
    EXPECT_FALSE(gone.IsOpen());
}

}  // namespace
}  // namespace vt::test
