// The JSON documents' rules shared with the other outputs: the drive's bus word and the power-on
// hours counter.

#include "report/page_json.h"

#include <gtest/gtest.h>

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

// The power-on hours counter is the attribute's whole raw value: the document and the reset's
// report took different widths, and the document's 16 bits wrapped after 65535 hours. The
// window's summary line keeps showing the low word, as it always has.
TEST(SmartJson, PowerOnHoursPastSixteenBitsAreKeptWhole) {
    std::array<std::uint8_t, kSmartSectorSize> data{};
    data[2] = 0x09;
    data[2 + 5] = 0x70;  // 70000 hours: 0x011170
    data[2 + 6] = 0x11;
    data[2 + 7] = 0x01;
    SmartReport report{DecodeSmartData(data, {}), SmartNameVariant::Standard};
    EXPECT_EQ(SmartJson(report)["derived"]["power_on_hours"], 70000);
    EXPECT_EQ(SmartResetCountersOf(report)[0], 70000u);
    EXPECT_EQ(SmartSummaryLines(report.data).front(), "Power on hour=4464");
}

}  // namespace
}  // namespace vt
