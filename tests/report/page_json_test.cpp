// The JSON documents' rules shared with the other outputs: the drive's bus word and the power-on
// hours counter.

#include "report/page_json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "report/smart_reset.h"
#include "report/smart_texts.h"

namespace vt {
namespace {

// The device object used to cut the path at its first colon: a disk on the bus "other" (no
// prefix) got "" where `vtutil list` says "other", and a Windows interface path got "".
TEST(DeviceJson, BusIsTheListsBusWordForEveryKindOfPath) {
    DeviceRow row;
    row.device = 2;
    row.model = "K38 demo";
    for (const auto& [path, bus] :
         {std::pair{"ide:/dev/sda", "ide"}, std::pair{"/dev/sdc", "other"},
          std::pair{"\\\\?\\usbstor#disk&ven_x#1&0#{53f5}", "usb"}}) {
        const Json device = DeviceJson(DriveIdentityOf(row, path));
        EXPECT_EQ(device["bus"], bus) << path;
        EXPECT_EQ(device["number"], 3);
        EXPECT_EQ(device["model"], "K38 demo");
    }
}

// The counters the reset zeroes are the attributes' whole raw values: the document and the
// reset's report took different widths, and the document's 16 bits wrapped (power-on hours after
// 65535 hours, power cycles and power losses after 65535 of them). The window's summary lines
// keep showing the low word, as they always have.
TEST(SmartJson, ResetCountersPastSixteenBitsAreKeptWhole) {
    std::array<std::uint8_t, kSmartSectorSize> data{};
    std::size_t at = 2;
    for (std::uint8_t id : {0x09, 0x0C, 0xC0}) {
        data[at] = id;
        data[at + 5] = 0x70;  // 70000: 0x011170
        data[at + 6] = 0x11;
        data[at + 7] = 0x01;
        at += 12;
    }
    SmartReport report{DecodeSmartData(data, {}), SmartNameVariant::Standard};
    const auto derived = SmartJson(report)["derived"];
    for (const char* counter :
         {"power_on_hours", "power_cycle_count", "unexpected_power_loss_count"})
        EXPECT_EQ(derived[counter], 70000) << counter;
    EXPECT_EQ(SmartResetCountersOf(report), (SmartResetCounters{70000u, 70000u, 70000u}));
    const auto lines = SmartSummaryLines(report.data);
    EXPECT_EQ(lines.front(), "Power on hour=4464");
    EXPECT_NE(std::ranges::find(lines, "Unexpected power loss count=4464"), lines.end());
}

// A reset that failed for a counter says so in both forms, with every message in the order it
// came, and a counter the drive does not report is "not reported", not 0.
TEST(SmartResetDocument, AFailedResetNamesItsMessagesAndKeepsUnreportedCountersApart) {
    DeviceRow row;
    row.model = "K38";
    row.serial = "S1";
    const auto drive = DriveIdentityOf(row, "ide:/dev/sda");
    const SmartResetCounters before{7u, 3u, std::nullopt};
    const SmartResetCounters after{0u, 3u, std::nullopt};
    const auto report = SmartResetDocument(
        drive, before, after, {"Failed in reseting SMART(PowerCycleCount)", "late"}, false);
    EXPECT_FALSE(report.all_reset);
    EXPECT_EQ(report.data["reset"], false);
    EXPECT_EQ(report.data["counters"][0]["after"], 0);
    EXPECT_TRUE(report.data["counters"][2]["before"].is_null());
    EXPECT_EQ(report.data["reset_messages"],
              Json::array({"Failed in reseting SMART(PowerCycleCount)", "late"}));
    EXPECT_EQ(report.lines.front(),
              "S.M.A.R.T. counters of disk 1 (ide:/dev/sda, K38, serial S1), before and after "
              "the reset:");
    EXPECT_EQ(report.lines[3], "  C0 unexpected power loss count: not reported -> not reported");
    EXPECT_EQ(report.lines[4], "Failed in reseting SMART(PowerCycleCount)");
    EXPECT_EQ(report.lines.back(), "The reset failed for the counters named above.");
}

}  // namespace
}  // namespace vt
