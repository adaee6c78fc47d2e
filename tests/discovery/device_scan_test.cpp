// The device scan over virtual drives: which disks become drives, their numbers, rows and lines.

#include "discovery/device_scan.h"

#include <gtest/gtest.h>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "tests/support/fake_backend.h"
#include "tests/support/scoped_bench.h"
#include "vendor/carrier.h"

namespace vt {
namespace {

using nlohmann::json;

json Sata(const std::string& product, const std::string& serial) {
    return {{"bus", "ide"},
            {"model", "K38"},
            {"product", product},
            {"serial", serial},
            {"firmware", "S1.0"}};
}

class Scan : public ::testing::Test {
  protected:
    void TearDown() override {
        CarrierMode = 0;
        DriveInfoTable = {};
    }
};

TEST_F(Scan, ForeignDiskTakesNoNumber) {
    test::ScopedBench bench(
        json::array({{{"bus", "ide"}, {"vendor", false}}, Sata("VT SSD", "SN1")}), false);
    const auto record = ScanDevices();
    ASSERT_EQ(record.rows.size(), 1u);
    EXPECT_EQ(record.rows[0].device, 0);
    EXPECT_EQ(record.rows[0].cells[0], "1");
    EXPECT_EQ(record.rows[0].cells[1], "VT SSD");
    EXPECT_EQ(record.rows[0].cells[2], "SN1");
    EXPECT_EQ(record.rows[0].cells[5], " IDE / SATA ");
    EXPECT_EQ(DeviceTable[0].DevicePath, bench.bench().PathOf(1));
    ASSERT_EQ(record.combo_lines.size(), 1u);
    EXPECT_EQ(record.combo_lines[0], "<< IDE / SATA >>  VT SSD SN1");
    EXPECT_EQ(CarrierMode, 2);
}

TEST_F(Scan, OlderBridgeTakesANumberAndALineButNoRow) {
    test::ScopedBench bench(json::array({{{"bus", "usb"},
                                          {"bridge", "older"},
                                          {"bridge_tag", "FK1X"},
                                          {"model", "K35"},
                                          {"bridge_vendor", "Vantrel "},
                                          {"bridge_product", "FK1X Bridge     "}},
                                         {{"bus", "usb"},
                                          {"bridge_tag", "q702"},
                                          {"model", "K35"},
                                          {"product", "VT USB SSD"}}}),
                            false);
    const auto record = ScanDevices();
    ASSERT_EQ(record.combo_lines.size(), 2u);
    EXPECT_EQ(record.combo_lines[0], "<< USB >>  Vantrel FK1X Bridge");
    ASSERT_EQ(record.rows.size(), 1u);
    // The row of the supported drive reads device 1, the drive it shows, not device 0.
    EXPECT_EQ(record.rows[0].device, 1);
    EXPECT_EQ(record.rows[0].cells[0], "2");
    EXPECT_EQ(record.rows[0].cells[5], " USB / SATA ");
    EXPECT_EQ(DeviceTable[0].DirectVendorCdb, 1);
    EXPECT_EQ(DeviceTable[1].DirectVendorCdb, 0);
    EXPECT_EQ(DriveInfoTable[1].Path, bench.bench().PathOf(1));
}

TEST_F(Scan, CarrierModeIsLeftByTheLastDiskExamined) {
    {
        test::ScopedBench bench(
            json::array({{{"bus", "usb"}, {"bridge_tag", "q701"}, {"model", "K35"}}}), false);
        ASSERT_EQ(ScanDevices().rows.size(), 1u);
        EXPECT_EQ(CarrierMode, 1);
    }
    test::ScopedBench bench(json::array({{{"bus", "usb"}, {"bridge_tag", "q701"}, {"model", "K35"}},
                                         {{"bus", "ide"}, {"vendor", false}}}),
                            false);
    ScanDevices();
    EXPECT_EQ(CarrierMode, 2);
}

TEST_F(Scan, ClassificationByPathWords) {
    test::ScopedTempDir dir;
    test::ScopedBench bench(
        json::array({{{"bus", "scsi"}, {"model", "K38"}},
                     {{"bus", "usb"}, {"node", "/dev/ide-bay"}, {"vendor", false}},
                     {{"bus", "other"}, {"model", "K38"}}}),
        false);
    DebugFileEnabled = true;
    const auto record = ScanDevices();
    DebugFileEnabled = false;
    ASSERT_EQ(record.rows.size(), 1u);
    EXPECT_EQ(record.rows[0].cells[5], " SCSI ");
    EXPECT_EQ(DeviceTable[0].AtaPassThrough, 0);
    // The combo line of a SCSI drive comes before its row and never carries a letter.
    EXPECT_EQ(record.combo_lines.size(), 1u);
    // "usb:/dev/ide-bay" holds "ide", which is tested first; the "other" disk is skipped.
    EXPECT_EQ(DeviceTable[1].AtaPassThrough, 1);
    const auto log = test::ReadAll(dir.File("DbgMsg.txt"));
    EXPECT_EQ(std::string(log.begin(), log.end()).rfind("nDevice = 3DEVICE_SCSI", 0), 0u);
    EXPECT_NE(std::string(log.begin(), log.end()).find("DEVICE_IDE"), std::string::npos);
}

TEST_F(Scan, NoDriveLeavesBothListsEmpty) {
    test::ScopedBench bench(json::array({{{"bus", "ide"}, {"vendor", false}}}), false);
    const auto record = ScanDevices();
    EXPECT_TRUE(record.rows.empty());
    EXPECT_TRUE(record.combo_lines.empty());
    EXPECT_TRUE(record.notices.empty());
}

TEST_F(Scan, CapacityColumnIsWholeGibibytes) {
    for (const auto& [sectors, shown] : {std::pair{2097152, "1"}, std::pair{2097151, "0"}}) {
        test::ScopedBench bench(
            json::array({{{"bus", "ide"}, {"model", "K38"}, {"capacity_sectors", sectors}}}),
            false);
        const auto record = ScanDevices();
        ASSERT_EQ(record.rows.size(), 1u);
        EXPECT_EQ(record.rows[0].cells[4], shown);
    }
}

TEST_F(Scan, AtMostTwelveDrivesAreAccepted) {
    test::ScopedTempDir dir;
    json drives = json::array();
    for (int i = 0; i < 14; ++i) drives.push_back(Sata("VT", "SN" + std::to_string(i)));
    test::ScopedBench bench(drives, false);
    DebugFileEnabled = true;
    const auto record = ScanDevices();
    DebugFileEnabled = false;
    EXPECT_EQ(record.rows.size(), 12u);
    EXPECT_EQ(record.rows.back().cells[2], "SN11");
    EXPECT_TRUE(bench.bench().Log(12).empty());  // the thirteenth disk is not even asked
    const auto log = test::ReadAll(dir.File("DbgMsg.txt"));
    EXPECT_NE(std::string(log.begin(), log.end()).find("2 disks left out"), std::string::npos);
}

TEST(ScanRights, EmptyListSaysWhichDeviceLacksTheRights) {
    test::ScopedFakeBackend fake;
    fake->disks.push_back({"ide:/dev/sda", "ide", "/dev/sda"});
    fake->open_error = EACCES;
    const auto record = ScanDevices();
    EXPECT_TRUE(record.rows.empty());
    ASSERT_EQ(record.notices.size(), 1u);
    EXPECT_NE(record.notices[0].find("ide:/dev/sda"), std::string::npos);
}

// A command about one drive scans up to it: the numbers stay those of the whole scan, and no disk
// after the drive receives a command.
TEST_F(Scan, ScanForADriveStopsAtIt) {
    test::ScopedBench bench(json::array({{{"bus", "ide"}, {"vendor", false}},
                                         Sata("A", "SN1"),
                                         Sata("B", "SN2"),
                                         Sata("C", "SN3")}),
                            false);
    const auto whole = ScanDevices();
    ASSERT_EQ(whole.rows.size(), 3u);
    bench.bench().ClearLog();
    const auto first = ScanDevicesFor("1");
    ASSERT_EQ(first.rows.size(), 1u);
    EXPECT_EQ(first.rows[0].cells, whole.rows[0].cells);
    EXPECT_TRUE(bench.bench().Log(2).empty());
    EXPECT_TRUE(bench.bench().Log(3).empty());

    bench.bench().ClearLog();
    const auto by_path = ScanDevicesFor(bench.bench().PathOf(2));
    ASSERT_EQ(FindListedRow(by_path, bench.bench().PathOf(2)), 1u);
    EXPECT_EQ(by_path.rows[1].cells, whole.rows[1].cells);
    EXPECT_TRUE(bench.bench().Log(3).empty());

    const auto none = ScanDevicesFor("9");
    EXPECT_EQ(none.rows.size(), 3u);
    EXPECT_FALSE(FindListedRow(none, "9"));
}

}  // namespace
}  // namespace vt
