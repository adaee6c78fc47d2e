#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "access/debug_msg.h"
#include "access/device_tables.h"
#include "access/dispatch.h"
#include "access/mode_flags.h"
#include "access/scsi_passthrough.h"
#include "tests/support/fake_backend.h"

namespace vt {
namespace {

using test::RecordedRequest;

const std::array<std::uint8_t, 12> kInquiry = {0x12, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0};

std::string DebugFileText(const test::ScopedTempDir& dir) {
    const auto bytes = test::ReadAll(dir.File("DbgMsg.txt"));
    return {bytes.begin(), bytes.end()};
}

TEST(ScsiPassThrough, OneByteTransfersMoveTwo) {
    test::ScopedFakeBackend fake;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        r.data.data()[0] = 0x5A;
        r.data.data()[1] = 0x77;
        return 0;
    };
    std::array<std::uint8_t, 2> data{0, 0xEE};
    int moved = -1;
    EXPECT_EQ(ReadSCSICommandWithTimeOutValue("usb:/dev/sdb", kInquiry, data, 1, moved, 10), 1);
    EXPECT_EQ(fake->requests.at(0).length, 2u);
    EXPECT_EQ(data[0], 0x5A);
    EXPECT_EQ(data[1], 0xEE);  // only one byte is handed on
    EXPECT_EQ(moved, 2);

    const std::uint8_t one = 0x42;
    EXPECT_EQ(WriteSCSICommandWithTimeOutValue("usb:/dev/sdb", kInquiry, {&one, 1}, 1, moved, 10),
              1);
    EXPECT_EQ(fake->requests.at(1).data_out, (std::vector<std::uint8_t>{0x42, 0x00}));
}

TEST(ScsiPassThrough, TwelveByteBlockAndResidual) {
    test::ScopedFakeBackend fake;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        r.outcome.residue = 4;
        return 0;
    };
    std::array<std::uint8_t, 40> data{};
    int moved = 0;
    EXPECT_EQ(ReadSCSICommandWithTimeOutValue("usb:/dev/sdb", kInquiry, data, 40, moved, 10), 1);
    EXPECT_EQ(fake->requests.at(0).cdb.size(), 12u);
    EXPECT_EQ(fake->requests[0].length, 40u);
    EXPECT_EQ(moved, 36);
}

TEST(ScsiPassThrough, CheckConditionFailsUnlessBenign) {
    test::ScopedTempDir dir;
    test::ScopedFakeBackend fake;
    std::vector<std::uint8_t> sense;
    fake->handler = [&sense](const RecordedRequest&, platform::ScsiRequest& r) {
        test::SetFixedSense(r, sense);
        return 0;
    };
    std::array<std::uint8_t, 40> data{};
    int moved = 0;
    sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0};
    EXPECT_EQ(ReadSCSICommandWithTimeOutValue("usb:/dev/sdb", kInquiry, data, 40, moved, 10), 0);
    sense = {0x70, 0, 0x01, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x00, 0x00, 0, 0, 0, 0};
    EXPECT_EQ(ReadSCSICommandWithTimeOutValue("usb:/dev/sdb", kInquiry, data, 40, moved, 10), 1);
    sense = {0x72, 0x00, 0x00, 0x00, 0, 0, 0, 0};
    EXPECT_EQ(ReadSCSICommandWithTimeOutValue("usb:/dev/sdb", kInquiry, data, 40, moved, 10), 1);

    // An ATA block through a bridge: the ATA STATUS decides, not the sense key.
    const std::array<std::uint8_t, 12> identify = {0xA1, 0x08, 0x0B, 0,    1, 0,
                                                   0,    0,    0xA0, 0xEC, 0, 0};
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        test::SetDescriptorAtaReturn(r, 0x00, 0x50, 0x0B, 0x00, 0x00);
        return 0;
    };
    EXPECT_EQ(ReadSCSICommandWithTimeOutValue("usb:/dev/sdb", identify, data, 40, moved, 10), 1);
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        test::SetDescriptorAtaReturn(r, 0x04, 0x51, 0x01, 0x00, 0x1D);
        return 0;
    };
    EXPECT_EQ(ReadSCSICommandWithTimeOutValue("usb:/dev/sdb", identify, data, 40, moved, 10), 0);
}

TEST(ScsiPassThrough, FailuresWriteTheirDebugLines) {
    test::ScopedTempDir dir;
    test::ScopedFakeBackend fake;
    DebugFileEnabled = true;
    std::array<std::uint8_t, 40> data{};
    int moved = 0;
    fake->open_error = ENOENT;
    EXPECT_EQ(ReadSCSICommandWithTimeOutValue("usb:/dev/sdq", kInquiry, data, 40, moved, 10), 0);
    fake->open_error = 0;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest&) { return EIO; };
    EXPECT_EQ(WriteSCSICommandWithTimeOutValue("usb:/dev/sdb", kInquiry, data, 40, moved, 10), 0);
    DebugFileEnabled = false;
    EXPECT_EQ(DebugFileText(dir),
              "ReadSCSICommandWithTimeOutValue(INVALID_HANDLE_VALUE) = usb:/dev/sdq\r\n"
              "LastError(WriteSCSICommandWithTimeOutValue)[1] = 5\r\n");
}

class DispatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
            if (r.cdb[0] == 0x85) test::SetDescriptorAtaReturn(r, 0, 0x50);
            return 0;
        };
        DeviceTable = {};
    }
    void TearDown() override { DeviceTable = {}; }
    test::ScopedFakeBackend fake;
    std::array<std::uint8_t, 512> data{};
    const std::array<std::uint8_t, 12> block_ = {0xA1, 0x08, 0x0B, 0, 1, 0, 0, 0, 0xA0, 0xEC, 0, 0};
};

TEST_F(DispatchTest, TimeOutsByDeviceKindAndDirection) {
    DeviceTable[0] = {"ide:/dev/sda", 0, 1, {}, {}};
    DeviceTable[1] = {"usb:/dev/sdb", 1, 0, {}, {}};
    DeviceTable[2] = {"scsi:/dev/sdc", 0, 0, {}, {}};
    EXPECT_EQ(DispatchCommand(0, true, block_, data, 512), 1);
    EXPECT_EQ(DispatchCommand(0, false, block_, data, 0), 1);
    EXPECT_EQ(DispatchCommand(1, true, block_, data, 512), 1);
    EXPECT_EQ(DispatchCommand(1, false, block_, data, 512), 1);
    EXPECT_EQ(DispatchCommand(2, true, block_, data, 512), 1);
    ASSERT_EQ(fake->requests.size(), 5u);
    EXPECT_EQ(fake->requests[0].cdb[0], 0x85);  // the task file, not the block, on an ATA port
    EXPECT_EQ(fake->requests[0].timeout_ms, 10000u);
    EXPECT_EQ(fake->requests[1].timeout_ms, 10000u);
    EXPECT_EQ(fake->requests[2].cdb[0], 0xA1);
    EXPECT_EQ(fake->requests[2].timeout_ms, 300000u);
    EXPECT_EQ(fake->requests[3].timeout_ms, 10000u);
    EXPECT_EQ(fake->requests[4].timeout_ms, 10000u);
}

TEST_F(DispatchTest, DeviceNumberCountsOnlyItsLowByte) {
    DeviceTable[0] = {"ide:/dev/sda", 0, 1, {}, {}};
    EXPECT_EQ(DispatchCommand(256, true, block_, data, 512), 1);
    EXPECT_EQ(fake->requests.at(0).path, "ide:/dev/sda");
}

TEST_F(DispatchTest, EmptyPathOpensNothing) {
    EXPECT_EQ(DispatchCommand(3, true, block_, data, 512), -1);
    DeviceTable[3].AtaPassThrough = 1;
    EXPECT_EQ(DispatchCommand(3, true, block_, data, 512), -1);
    EXPECT_TRUE(fake->opened.empty());
}

TEST_F(DispatchTest, TransportFailureIsMinusTwo) {
    DeviceTable[2] = {"scsi:/dev/sdc", 0, 0, {}, {}};
    fake->open_error = ENXIO;
    EXPECT_EQ(DispatchCommand(2, true, block_, data, 512), -2);
}

TEST(DebugMsgFile, AppendsOnlyWhileEnabledAndCutsLongMessages) {
    test::ScopedTempDir dir;
    DebugMsg("nothing %d", 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("DbgMsg.txt")));
    DebugFileEnabled = true;
    DebugMsg("a");
    DebugMsg("b\r\n");
    EXPECT_EQ(DebugFileText(dir), "ab\r\n");
    std::filesystem::remove(dir.File("DbgMsg.txt"));
    DebugMsg("%s", std::string(2000, 'x').c_str());
    DebugFileEnabled = false;
    EXPECT_EQ(DebugFileText(dir), std::string(1023, 'x'));
}

TEST(DebugMsgFile, DoesNotFollowAPlantedLink) {
    test::ScopedTempDir dir;
    {
        std::ofstream target(dir.File("target"));
        target << "keep";
    }
    std::filesystem::create_symlink(dir.File("target"), dir.File("DbgMsg.txt"));
    DebugFileEnabled = true;
    DebugMsg("planted\r\n");
    DebugFileEnabled = false;
    const auto target = test::ReadAll(dir.File("target"));
    EXPECT_EQ(std::string(target.begin(), target.end()), "keep");
}

}  // namespace
}  // namespace vt
