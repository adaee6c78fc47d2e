#include "access/ata_passthrough.h"

#include <gtest/gtest.h>

#include <cstring>

#include "access/debug_msg.h"
#include "access/mode_flags.h"
#include "tests/support/fake_backend.h"

namespace vt {
namespace {

using test::RecordedRequest;

TaskFile Identify() {
    return {0, 1, 0, 0, 0, 0xA0, 0xEC, 0};
}

std::array<std::uint8_t, 12> Block(std::uint8_t command, std::uint8_t count = 1) {
    return {0xA1, 0x08, 0x0B, 0, count, 0xFF, 0x34, 0x12, 0xE0, command, 0, 0};
}

TEST(AtaPassThrough, BuildsSixteenByteCdbPerProtocol) {
    test::ScopedFakeBackend fake;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        test::SetDescriptorAtaReturn(r, 0, 0x50);
        return 0;
    };
    std::array<std::uint8_t, 512> data{};
    TaskFile none{0xDC, 0x56, 0, 0, 0, 0xE0, 0xEF, 0};
    EXPECT_EQ(WriteATACommandWithTimeOutValue("ide:/dev/sda", none, {}, 0, 10), 1);
    TaskFile dma_read{0, 1, 0x86, 0x34, 0x12, 0xE0, 0x86, 0};
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", dma_read, data, 512, 10), 1);
    TaskFile pio_read{0, 1, 0x86, 0x34, 0x12, 0xE0, 0x8A, 0};
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", pio_read, data, 512, 10), 1);
    TaskFile dma_write{0, 1, 0xFF, 0x34, 0x12, 0xE0, 0x88, 0};
    EXPECT_EQ(WriteATACommandWithTimeOutValue("ide:/dev/sda", dma_write, data, 512, 10), 1);

    ASSERT_EQ(fake->requests.size(), 4u);
    const std::vector<std::uint8_t> no_data = {0x85, 0x06, 0x20, 0, 0xDC, 0,    0x56, 0,
                                               0,    0,    0,    0, 0,    0xE0, 0xEF, 0};
    EXPECT_EQ(fake->requests[0].cdb, no_data);
    EXPECT_EQ(fake->requests[0].direction, platform::Direction::None);
    EXPECT_EQ(fake->requests[0].length, 0u);
    EXPECT_EQ(fake->requests[0].timeout_ms, 10000u);

    const std::vector<std::uint8_t> dma_in = {0x85, 0x0C, 0x2E, 0, 0,    0,    0x01, 0,
                                              0x86, 0,    0x34, 0, 0x12, 0xE0, 0x86, 0};
    EXPECT_EQ(fake->requests[1].cdb, dma_in);
    EXPECT_EQ(fake->requests[1].direction, platform::Direction::In);
    EXPECT_EQ(fake->requests[1].length, 512u);
    EXPECT_EQ(fake->requests[2].cdb[1], 0x08);  // PIO data-in for 8Ah
    EXPECT_EQ(fake->requests[2].cdb[2], 0x2E);
    EXPECT_EQ(fake->requests[3].cdb[1], 0x0C);  // DMA data-out for 88h
    EXPECT_EQ(fake->requests[3].cdb[2], 0x26);
    EXPECT_EQ(fake->requests[3].direction, platform::Direction::Out);
    EXPECT_EQ(fake->open_handles, 0);
}

TEST(AtaPassThrough, ReadAndWriteDmaUseTheDmaProtocol) {
    EXPECT_TRUE(IsDmaCommand(0xC8, platform::Direction::In));
    EXPECT_TRUE(IsDmaCommand(0xCA, platform::Direction::Out));
    EXPECT_FALSE(IsDmaCommand(0x86, platform::Direction::Out));
    EXPECT_FALSE(IsDmaCommand(0xEC, platform::Direction::In));
    EXPECT_FALSE(IsDmaCommand(0x8A, platform::Direction::In));
    test::ScopedFakeBackend fake;
    std::array<std::uint8_t, 4096> data{};
    TaskFile write_dma{0, 8, 0, 0, 0, 0xE0, 0xCA, 0};
    WriteATACommandWithTimeOutValue("ide:/dev/sda", write_dma, data, 4096, 10);
    EXPECT_EQ(fake->requests.at(0).cdb[1], 0x0C);
}

TEST(AtaPassThrough, LengthLimitIsSixtyFourKibibytes) {
    test::ScopedFakeBackend fake;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        test::SetDescriptorAtaReturn(r, 0, 0x50);
        return 0;
    };
    std::vector<std::uint8_t> data(65537);
    TaskFile tf = Identify();
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", tf, data, 65536, 10), 1);
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", tf, data, 65537, 10), -1);
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", tf, data, -1, 10), -1);
    EXPECT_EQ(fake->requests.size(), 1u);
    EXPECT_EQ(fake->open_handles, 0);
}

TEST(AtaPassThrough, BufferSmallerThanLengthIsRefusedUnsent) {
    test::ScopedFakeBackend fake;
    std::array<std::uint8_t, 16> small{};
    TaskFile tf = Identify();
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", tf, small, 512, 10), -1);
    EXPECT_TRUE(fake->requests.empty());
}

TEST(AtaPassThrough, ErrStatusGivesZeroAndTheErrorByte) {
    test::ScopedFakeBackend fake;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        test::SetDescriptorAtaReturn(r, 0x04, 0x51, 0xB, 0, 0);
        return 0;
    };
    std::array<std::uint8_t, 512> data{};
    TaskFile tf = Identify();
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", tf, data, 512, 10), 0);
    EXPECT_EQ(tf[0], 0x04);
    EXPECT_EQ(tf[6], 0x51);
    const auto block = Block(0xEC);
    EXPECT_EQ(SendAtaCommand("ide:/dev/sda", true, block, data, 512, 10), -2);
}

TEST(AtaPassThrough, DataArrivesWhateverTheStatus) {
    test::ScopedFakeBackend fake;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        std::fill(r.data.begin(), r.data.end(), 0xAB);
        test::SetDescriptorAtaReturn(r, 0x40, 0x51);
        return 0;
    };
    std::array<std::uint8_t, 512> data{};
    TaskFile tf = Identify();
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", tf, data, 512, 10), 0);
    EXPECT_EQ(data[0], 0xAB);
    EXPECT_EQ(data[511], 0xAB);
}

TEST(AtaPassThrough, OpenFailureAndPlatformFailure) {
    test::ScopedFakeBackend fake;
    fake->open_error = ENOENT;
    std::array<std::uint8_t, 512> data{};
    TaskFile tf = Identify();
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sdz", tf, data, 512, 10), 0);
    EXPECT_EQ(SendAtaCommand("ide:/dev/sdz", true, Block(0xEC), data, 512, 10), -2);

    fake->open_error = 0;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest&) { return EINVAL; };
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", tf, data, 512, 10), -1);
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        r.outcome.transport = platform::Transport::TimedOut;
        return 0;
    };
    EXPECT_EQ(WriteATACommandWithTimeOutValue("ide:/dev/sda", tf, data, 512, 10), -1);
    EXPECT_EQ(fake->open_handles, 0);
}

TEST(AtaPassThrough, EmptyPathMakesNoSystemCall) {
    test::ScopedFakeBackend fake;
    std::array<std::uint8_t, 512> data{};
    EXPECT_EQ(SendAtaCommand("", true, Block(0xEC), data, 512, 10), -1);
    EXPECT_TRUE(fake->opened.empty());
}

// The registers come back in three forms: SAT's descriptor, SAT's fixed layout, and the fixed
// layout of kernels before 6.10 (registers at bytes 8-11, sense key ABORTED for a DRQ status).
TEST(AtaPassThrough, RegistersFromEverySenseForm) {
    test::ScopedFakeBackend fake;
    std::array<std::uint8_t, 512> data{};
    std::vector<std::uint8_t> sense;
    fake->handler = [&sense](const RecordedRequest&, platform::ScsiRequest& r) {
        test::SetFixedSense(r, sense);
        return 0;
    };
    // Older kernel: IDENTIFY answered with status 58h, error 00h, key ABORTED COMMAND.
    sense = {0x70, 0, 0x0B, 0, 0, 0, 0, 10, 0x00, 0x58, 0xE0, 0x01, 0x47, 0x00, 0, 0, 0, 0};
    TaskFile tf = Identify();
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", tf, data, 512, 10), 1);
    EXPECT_EQ(tf[6], 0x58);
    // The same kernel's answer to a rejected unlock: error 04h, status 41h.
    sense = {0x70, 0, 0x0B, 0, 0, 0, 0, 10, 0x04, 0x41, 0xE0, 0x00, 0x00, 0x00, 0, 0, 0, 0};
    tf = {0xDC, 0x56, 0, 0, 0, 0xE0, 0xEF, 0};
    EXPECT_EQ(WriteATACommandWithTimeOutValue("ide:/dev/sda", tf, {}, 0, 10), 0);
    EXPECT_EQ(tf[0], 0x04);
    EXPECT_EQ(tf[6], 0x41);
    // SAT fixed layout: INFORMATION holds ERROR, STATUS, DEVICE, COUNT.
    sense = {0x70, 0,    0x01, 0x00, 0x50, 0xE0, 0x01, 10, 0,
             0x11, 0x22, 0x33, 0x00, 0x1D, 0,    0,    0,  0};
    tf = Identify();
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", tf, data, 512, 10), 1);
    EXPECT_EQ(tf[6], 0x50);
    EXPECT_EQ(tf[2], 0x11);
    EXPECT_EQ(tf[4], 0x33);
    // A device that refuses ATA PASS-THROUGH outright (a USB mass-storage disk).
    sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0};
    tf = Identify();
    EXPECT_EQ(ReadATACommandWithTimeOutValue("usb:/dev/sdb", tf, data, 512, 10), -1);
}

TEST(AtaPassThrough, GoodStatusWithoutRegistersReadsAsReady) {
    test::ScopedFakeBackend fake;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest&) { return 0; };
    std::array<std::uint8_t, 512> data{};
    TaskFile tf = Identify();
    EXPECT_EQ(ReadATACommandWithTimeOutValue("ide:/dev/sda", tf, data, 512, 10), 1);
    EXPECT_EQ(tf[6], 0x50);
}

TEST(SendAtaCommand, TimeOutIsMeasuredInWholeSeconds) {
    test::ScopedTempDir dir;
    test::ScopedFakeBackend fake;
    std::uint64_t delay = 0;
    fake->handler = [&](const RecordedRequest&, platform::ScsiRequest& r) {
        fake->now_ms += delay;
        test::SetDescriptorAtaReturn(r, 0, 0x50);
        return 0;
    };
    DebugFileEnabled = true;
    std::array<std::uint8_t, 512> data{};
    delay = 11000;
    EXPECT_EQ(SendAtaCommand("ide:/dev/sda", true, Block(0xEC), data, 512, 10), 0);
    delay = 10900;
    EXPECT_EQ(SendAtaCommand("ide:/dev/sda", true, Block(0xEC), data, 512, 10), 1);
    // A tick counter that wraps between the two readings does no harm.
    fake->now_ms = 0xFFFFFF00u;
    delay = 500;
    EXPECT_EQ(SendAtaCommand("ide:/dev/sda", true, Block(0xEC), data, 512, 10), 1);
    DebugFileEnabled = false;
    const auto log = test::ReadAll(dir.File("DbgMsg.txt"));
    EXPECT_EQ(std::string(log.begin(), log.end()), "Timeout = 11 sec\r\n");
}

TEST(SendAtaCommand, TaskFileComesFromBlockBytesThreeToNine) {
    test::ScopedFakeBackend fake;
    fake->handler = [](const RecordedRequest&, platform::ScsiRequest& r) {
        test::SetDescriptorAtaReturn(r, 0, 0x50);
        return 0;
    };
    std::array<std::uint8_t, 512> data{};
    const std::array<std::uint8_t, 12> block = {0x11, 0x22, 0x33, 0xF1, 0x02, 0xF3,
                                                0xF4, 0xF5, 0xE0, 0x8F, 0x44, 0x55};
    EXPECT_EQ(SendAtaCommand("ide:/dev/sda", false, block, data, 1024 - 512, 10), 1);
    const auto& cdb = fake->requests.at(0).cdb;
    EXPECT_EQ(cdb[4], 0xF1);
    EXPECT_EQ(cdb[6], 0x02);
    EXPECT_EQ(cdb[8], 0xF3);
    EXPECT_EQ(cdb[10], 0xF4);
    EXPECT_EQ(cdb[12], 0xF5);
    EXPECT_EQ(cdb[13], 0xE0);
    EXPECT_EQ(cdb[14], 0x8F);
    EXPECT_EQ(fake->requests[0].direction, platform::Direction::Out);
}

}  // namespace
}  // namespace vt
