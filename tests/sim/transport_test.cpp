// The device access transports over the bench: the Linux request building and sense parsing meet
// a drive that answers as libata and the drive together do.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "access/ata_passthrough.h"
#include "access/device_tables.h"
#include "access/disk_enumeration.h"
#include "access/dispatch.h"
#include "access/scsi_passthrough.h"
#include "tests/sim/bench_fixture.h"

namespace vt::test {
namespace {

using nlohmann::json;

class Transports : public BenchTest {};

TEST_F(Transports, EnumerationAndDriverIdentify) {
    Install(json::array({{{"bus", "ide"}, {"model", "K38"}, {"product", "  Vantrel X"}},
                         {{"bus", "usb"}, {"bridge", "older"}},
                         {{"bus", "other"}}}));
    DiskList disks;
    ASSERT_EQ(EnumerateDisks(disks), 3);
    EXPECT_EQ(disks, (DiskList{"ide:/dev/sda", "usb:/dev/sdb", "/dev/sdc"}));

    std::array<std::uint8_t, 512> id{};
    ASSERT_TRUE(IdentifyViaDriver(disks[0], 1, DEVICE_IDE, id, 512));  // odd index: DEV bit set
    EXPECT_STREQ(reinterpret_cast<const char*>(&id[54]), "Vantrel X");
    EXPECT_EQ(bench().Log(0).back().device, 0xB0);
    EXPECT_FALSE(CheckDeviceAccess(disks[0]).has_value());
    StorageDeviceNumber number;
    EXPECT_EQ(GetStorageDeviceNumber(disks[1], number), 1);
    EXPECT_EQ(number.DeviceNumber, 16u);
}

TEST_F(Transports, RegisterFileComesBackThroughDescriptorSense) {
    Install(json::array({{{"bus", "ide"}, {"model", "K38"}}}));
    TaskFile power{0, 0, 0, 0, 0, 0xE0, 0xE5, 0};
    ASSERT_EQ(WriteATACommandWithTimeOutValue(bench().PathOf(0), power, {}, 0, 10), 1);
    EXPECT_EQ(power[1], 0xFF);  // active
    EXPECT_EQ(power[6], 0x50);
    TaskFile unknown{0, 0, 0, 0, 0, 0xE0, 0x77, 0};
    EXPECT_EQ(WriteATACommandWithTimeOutValue(bench().PathOf(0), unknown, {}, 0, 10), 0);
    EXPECT_EQ(unknown[0], 0x04);
    EXPECT_EQ(unknown[6], 0x51);
    const Block block = {0xA1, 0x06, 0, 0, 0, 0, 0, 0, 0xE0, 0x77, 0, 0};
    EXPECT_EQ(DispatchCommand(0, false, block, {}, 0), -2);
}

TEST_F(Transports, OneByteReadThroughABridge) {
    Install(json::array({{{"bus", "usb"}, {"bridge", "older"}, {"model", "K35"}}}));
    const Block inquiry = {0x12, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0};
    std::array<std::uint8_t, 1> one{0xEE};
    int moved = 0;
    ASSERT_EQ(ReadSCSICommandWithTimeOutValue(bench().PathOf(0), inquiry, one, 1, moved, 10), 1);
    EXPECT_EQ(one[0], 0x00);  // peripheral type: a disk
    EXPECT_EQ(bench().Log(0).back().bytes, 2u);
    const Block unknown = {0xC1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(WriteSCSICommandWithTimeOutValue(bench().PathOf(0), unknown, {}, 0, moved, 10), 0);
}

TEST_F(Transports, SlowCommandsCostOnlyVirtualTime) {
    Install(json::array({{{"bus", "ide"},
                          {"model", "K38"},
                          {"faults", {{{"op", "ata:EC"}, {"count", 1}, {"effect", "timeout"}}}}}}));
    const Block identify = {0xA1, 0x08, 0x0B, 0, 1, 0, 0, 0, 0xE0, 0xEC, 0, 0};
    std::array<std::uint8_t, 512> id{};
    EXPECT_EQ(SendAtaCommand(bench().PathOf(0), true, identify, id, 512, 10), 0);
    EXPECT_EQ(SendAtaCommand(bench().PathOf(0), true, identify, id, 512, 10), 1);
    EXPECT_EQ(OpenHandles(), 0u);
}

}  // namespace
}  // namespace vt::test
