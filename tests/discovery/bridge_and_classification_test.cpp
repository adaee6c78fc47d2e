#include <gtest/gtest.h>

#include "access/device_tables.h"
#include "discovery/bridge_identification.h"
#include "discovery/device_scan.h"

namespace vt {
namespace {

int Kind(const char* tag) {
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < 4 && tag[i] != 0; ++i) bytes[i] = static_cast<std::uint8_t>(tag[i]);
    return BridgeKindOfTag(bytes);
}

TEST(BridgeTags, TableOrderDecides) {
    EXPECT_EQ(Kind("q701"), 1);
    EXPECT_EQ(Kind("q702"), 9);
    EXPECT_TRUE(IsSupportedBridge(Kind("q702")));
    EXPECT_EQ(Kind("q715"), 10);
    EXPECT_FALSE(IsSupportedBridge(Kind("q715")));
    EXPECT_EQ(Kind("q709"), 13);
    EXPECT_EQ(Kind("x709"), 13);  // by the row that ignores the first character
    EXPECT_EQ(Kind("Z712"), 13);
    EXPECT_EQ(Kind("ice "), 10);
    EXPECT_EQ(Kind("ice"), 0);
    EXPECT_EQ(Kind("FK1X"), 10);
    EXPECT_EQ(Kind("fk1x"), 0);
    EXPECT_EQ(Kind(""), 0);  // four zero bytes
    EXPECT_EQ(BridgeKindOfTag({0x05, 0xE3, 0x07, 0x18}), 14);
    EXPECT_TRUE(IsSupportedBridge(14));
    // A zero byte ends the tag: "q70" followed by zero is no "q701".
    EXPECT_EQ(BridgeKindOfTag({'q', '7', '0', 0}), 0);
    EXPECT_EQ(BridgeKindOfTag({0, '7', '1', '2'}), 0);
    for (int kind : {0, 2, 3, 5, 6, 10, 15}) EXPECT_FALSE(IsSupportedBridge(kind)) << kind;
}

TEST(DiskClassification, FirstWordFoundDecides) {
    EXPECT_EQ(ClassifyDiskPath("ide:/dev/sda").kind, DEVICE_IDE);
    EXPECT_EQ(ClassifyDiskPath("usb-ide:/dev/sdb").kind, DEVICE_IDE);
    const auto scsi = ClassifyDiskPath("scsi:/dev/sdc");
    EXPECT_EQ(scsi.kind, DEVICE_SCSI);
    EXPECT_STREQ(scsi.text, " SCSI ");
    EXPECT_STREQ(ClassifyDiskPath("usb:/dev/sdd").text, " USB ");
    const auto firewire = ClassifyDiskPath("sbp2:/dev/sde");
    EXPECT_EQ(firewire.kind, DEVICE_USB);
    EXPECT_STREQ(firewire.text, " SBP2 ");
    EXPECT_EQ(ClassifyDiskPath("other:/dev/nvme0n1").kind, 0);
}

TEST(DiskClassification, DisplayTrimDropsBlanksAndControls) {
    EXPECT_EQ(TrimDisplay("  VT K38 \t\r"), "VT K38");
    EXPECT_EQ(TrimDisplay("\x01\x02"), "");
    EXPECT_EQ(TrimDisplay(""), "");
    EXPECT_EQ(TrimDisplay("A  B"), "A  B");
}

}  // namespace
}  // namespace vt
