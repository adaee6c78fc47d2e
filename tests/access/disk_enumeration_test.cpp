#include "access/disk_enumeration.h"

#include <gtest/gtest.h>

#include <cstring>

#include "access/ata_strings.h"
#include "access/device_tables.h"
#include "platform/error_codes.h"
#include "platform/privileges.h"
#include "tests/support/fake_backend.h"

namespace vt {
namespace {

using test::RecordedRequest;

std::vector<std::uint8_t> Swapped(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

std::vector<std::uint8_t> Trimmed(const std::string& text) {
    auto bytes = Swapped(text);
    SwapAndTrim(bytes);
    return bytes;
}

TEST(AtaStrings, ReadInReadingOrderUpToAZeroOrTheEndOfTheData) {
    const auto sent = Swapped("VT K38  SN");
    EXPECT_EQ(AtaString(sent, 0, 8), "VT K38  ");
    EXPECT_EQ(IdentifyString(sent, 0, 6), "TVK 83");  // taken as stored: not swapped
    EXPECT_EQ(AtaString(Swapped(std::string("AB\0D", 4)), 0, 4), "AB");
    // A short answer ends the field where it ends, never read past.
    EXPECT_EQ(AtaString(std::span(sent).first(5), 2, 40), " K");
    EXPECT_EQ(TrimDisplay("\x7F VT K38\t\x7F"), "VT K38");
}

TEST(DeviceEntry, ASetUpSlotKeepsNothingOfTheDiskItHeldBefore) {
    EntryOf(3).SysBlock = {1, 2, 3, 4};
    EntryOf(3).LaterBadUnit = {5, 6};
    const auto& entry = SetUpEntry(3, "usb:/dev/sdc", DEVICE_USB);
    EXPECT_EQ(entry.SysBlock, (std::array<std::uint16_t, 4>{}));
    EXPECT_EQ(entry.LaterBadUnit, (std::array<std::uint16_t, 2>{}));
    EXPECT_EQ(entry.DevicePath, "usb:/dev/sdc");
    EXPECT_EQ(entry.DirectVendorCdb, 1);
    EXPECT_EQ(entry.AtaPassThrough, 0);
    EntryOf(3) = DeviceEntry{};
}

TEST(SwapAndTrim, FixesUpAtaStrings) {
    using Bytes = std::vector<std::uint8_t>;
    EXPECT_EQ(Trimmed("1.00    "), (Bytes{'1', '.', '0', '0', 0, 0, 0, 0}));
    EXPECT_EQ(Trimmed("  ABCDEF"), (Bytes{'A', 'B', 'C', 'D', 'E', 'F', 0, 0}));
    EXPECT_EQ(Trimmed("        "), Bytes(8, 0));
    EXPECT_EQ(Trimmed(std::string(20, ' ')), Bytes(20, 0));
    Bytes serial = {'A', 'B', '1', '2'};
    serial.resize(16, 0);
    serial.insert(serial.begin(), 4, 0);
    auto expected = Bytes{'A', 'B', '1', '2'};
    expected.resize(20, 0);
    EXPECT_EQ(Trimmed("  AB12              "), expected);
}

TEST(DiskEnumeration, ListsUpToEightyPathsAndSkipsOverlongOnes) {
    test::ScopedFakeBackend fake;
    DiskList list;
    EXPECT_EQ(EnumerateDisks(list), 0);
    fake->disks.push_back({"ide:/dev/" + std::string(300, 'a'), "ide", ""});
    for (int i = 0; i < 90; ++i)
        fake->disks.push_back({"ide:/dev/sd" + std::to_string(i), "ide", ""});
    EXPECT_EQ(EnumerateDisks(list), 80);
    EXPECT_EQ(list.front(), "ide:/dev/sd0");
}

TEST(DiskEnumeration, RescanFailureIsReportedOnStandardOutput) {
    test::ScopedFakeBackend fake;
    fake->rescan_ok = false;
    fake->rescan_report = "Rescan of /sys/class/scsi_host/host0/scan failed: Permission denied\n";
    testing::internal::CaptureStdout();
    EXPECT_EQ(RescanBuses(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), fake->rescan_report);
    EXPECT_FALSE(IsWindows8());
    char letter = 'Q';
    EXPECT_EQ(FindDriveLetter("ide:/dev/sda", letter), 0);
    EXPECT_EQ(letter, 'Q');
}

TEST(IdentifyViaDriver, ReadsIdentifyAndFixesItsStrings) {
    test::ScopedFakeBackend fake;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        auto* data = r.data.data();
        const auto model = Swapped("VANTREL K38 SSD                         ");
        std::memcpy(data + 54, model.data(), 40);
        const auto serial = Swapped("      SN0001        ");
        std::memcpy(data + 20, serial.data(), 20);
        test::SetDescriptorAtaReturn(r, 0, 0x50);
        return 0;
    };
    std::array<std::uint8_t, 512> buffer{};
    ASSERT_TRUE(IdentifyViaDriver("ide:/dev/sda", 1, DEVICE_IDE, buffer, 512));
    EXPECT_EQ(IdentifyString(buffer, 54, 40), "VANTREL K38 SSD");
    EXPECT_EQ(IdentifyString(buffer, 20, 20), "SN0001");
    const auto& cdb = fake->requests.at(0).cdb;
    EXPECT_EQ(cdb[14], 0xEC);
    EXPECT_EQ(cdb[13], 0xB0);  // odd index: DEV bit set
    EXPECT_EQ(cdb[6], 1);
}

TEST(IdentifyViaDriver, FailureLeavesTheBufferAsItWas) {
    test::ScopedFakeBackend fake;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        std::fill(r.data.begin(), r.data.end(), 0xFF);
        test::SetDescriptorAtaReturn(r, 0x04, 0x51);
        return 0;
    };
    std::array<std::uint8_t, 512> buffer{};
    EXPECT_FALSE(IdentifyViaDriver("ide:/dev/sda", 0, DEVICE_IDE, buffer, 512));
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 512>{}));
    EXPECT_FALSE(IdentifyViaDriver("usb:/dev/sdb", 0, DEVICE_USB, buffer, 512));
}

TEST(CheckDeviceAccess, NamesTheDeviceWhenRightsAreMissing) {
    test::ScopedFakeBackend fake;
    fake->open_error = EACCES;
    auto problem = CheckDeviceAccess("ide:/dev/sda");
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("ide:/dev/sda"), std::string::npos);
    EXPECT_NE(problem->find("root"), std::string::npos);

    fake->open_error = 0;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest&) { return EPERM; };
    EXPECT_TRUE(CheckDeviceAccess("ide:/dev/sda"));
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest&) { return 0; };
    EXPECT_FALSE(CheckDeviceAccess("ide:/dev/sda"));
}

// The rights message only for a refusal; any other failure to open is named as it is.
TEST(CheckDeviceAccess, NamesTheRealErrorOfAnOpenThatFails) {
    test::ScopedFakeBackend fake;
    fake->open_error = EPERM;
    const auto refused = CheckDeviceAccess("ide:/dev/sda");
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("(Operation not permitted)"), std::string::npos) << *refused;
    // Running as root already, the message cannot ask for root.
    if (platform::RunsAsRoot()) {
        EXPECT_EQ(refused->find("needs root"), std::string::npos) << *refused;
        EXPECT_NE(refused->find("although the tool runs as root"), std::string::npos);
    } else {
        EXPECT_NE(refused->find("needs root"), std::string::npos) << *refused;
    }

    fake->open_error = ENXIO;
    const auto missing = CheckDeviceAccess("ide:/dev/sda");
    ASSERT_TRUE(missing);
    EXPECT_EQ(*missing, "Cannot open ide:/dev/sda: " + std::string(std::strerror(ENXIO)));

    fake->open_error = platform::kNoMedium;  // an empty card reader
    EXPECT_FALSE(CheckDeviceAccess("ide:/dev/sda"));
}

}  // namespace
}  // namespace vt
