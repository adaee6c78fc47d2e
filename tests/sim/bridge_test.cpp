// USB bridges: the supported kind passes ATA pass-through and the carrier to its drive; the older
// kind takes vendor command blocks and a few SCSI commands as its own.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "access/device_tables.h"
#include "access/dispatch.h"
#include "tests/sim/bench_fixture.h"

namespace vt::test {
namespace {

using nlohmann::json;

const Block kInquiry = {0x12, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0};

class Bridges : public BenchTest {};

TEST_F(Bridges, SupportedBridgeCarriesTheProtocolToItsDrive) {
    Install(json::array({{{"bus", "usb"}, {"model", "K35"}, {"bridge_tag", "q703"}}}));
    std::array<std::uint8_t, 40> inquiry{};
    ASSERT_EQ(DispatchCommand(0, true, kInquiry, inquiry, 40), 1);
    EXPECT_EQ(std::memcmp(inquiry.data() + 36, "q703", 4), 0);

    ASSERT_EQ(Unlock(0), 1);
    std::array<std::uint8_t, 4096> block{};
    ASSERT_TRUE(Vendor(0, VendorBlock(0x86, {3}), true, block, 8));
    EXPECT_EQ(std::memcmp(block.data(), "LDBK BLOCKS V40", 16), 0);
    EXPECT_EQ(bench().Log(0)[1].kind,
              sim::CommandKind::Ata);  // passed through, not a CDB of its own

    // READ CAPACITY(10): the last LBA, most significant byte first.
    const Block capacity = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::array<std::uint8_t, 512> answer{};
    ASSERT_EQ(DispatchCommand(0, true, capacity, answer, 512), 1);
    EXPECT_EQ(answer[0] << 24 | answer[1] << 16 | answer[2] << 8 | answer[3], 250069679);
}

TEST_F(Bridges, KindOneBridgeOnlyPassesThePioCarrier) {
    Install(json::array({{{"bus", "usb"}, {"model", "K35"}, {"bridge_tag", "q701"}}}));
    ASSERT_EQ(Unlock(0), 1);
    std::array<std::uint8_t, 512> answer{};
    EXPECT_FALSE(Vendor(0, VendorBlock(0x84, {0}), true, answer, 1, 2));
    EXPECT_TRUE(Vendor(0, VendorBlock(0x84, {0}), true, answer, 1, 1));
    EXPECT_TRUE(Vendor(0, VendorBlock(0x84, {0}), true, answer, 1, 0));
}

TEST_F(Bridges, OlderBridgeTakesVendorBlocksAsItsOwnCommands) {
    Install(json::array(
        {{{"bus", "usb"}, {"bridge", "older"}, {"model", "K35"}, {"capacity_sectors", 4096}}}));
    ASSERT_EQ(DeviceTable[0].DirectVendorCdb, 1);
    std::array<std::uint8_t, 40> inquiry{};
    ASSERT_EQ(DispatchCommand(0, true, kInquiry, inquiry, 40), 1);
    EXPECT_EQ(std::memcmp(inquiry.data() + 36, "FK1X", 4), 0);

    // No unlock: the bridge runs the block itself.
    std::array<std::uint8_t, 4096> block{};
    ASSERT_TRUE(Vendor(0, VendorBlock(0x86, {3}), true, block, 8));
    EXPECT_EQ(std::memcmp(block.data(), "LDBK BLOCKS V40", 16), 0);
    ASSERT_EQ(bench().Log(0).back().kind, sim::CommandKind::VendorDirect);
    EXPECT_EQ(bench().Log(0).back().sectors, 8u);

    std::array<std::uint8_t, 512> answer{};
    ASSERT_TRUE(Vendor(0, VendorBlock(0x84, {0}), true, answer, 1));
    EXPECT_NE(answer[0], 0xE5);  // no route mark before the value on this route
    ASSERT_TRUE(Vendor(0, VendorBlock(0x05), true, answer, 1));  // the bridge's SMART sector
    EXPECT_EQ(answer[0], 0x01);
    EXPECT_FALSE(Vendor(0, VendorBlock(0x0B), true, answer, 1));  // firmware-only commands
    EXPECT_FALSE(Vendor(0, VendorBlock(0x20), true, answer, 1));

    // ATA pass-through is not among its commands.
    EXPECT_NE(Identify(0, answer), 1);

    // READ(10) and WRITE(10) on user sectors; past the end is refused.
    std::array<std::uint8_t, 1024> data{};
    data[5] = 0x77;
    const Block write = {0x2A, 0, 0, 0, 0x0F, 0xFE, 0, 0, 2, 0, 0, 0};
    ASSERT_EQ(DispatchCommand(0, false, write, data, 1024), 1);
    std::array<std::uint8_t, 1024> back{};
    const Block read = {0x28, 0, 0, 0, 0x0F, 0xFE, 0, 0, 2, 0, 0, 0};
    ASSERT_EQ(DispatchCommand(0, true, read, back, 1024), 1);
    EXPECT_EQ(back[5], 0x77);
    const Block past = {0x28, 0, 0, 0, 0x0F, 0xFF, 0, 0, 2, 0, 0, 0};
    EXPECT_NE(DispatchCommand(0, true, past, back, 1024), 1);
}

TEST_F(Bridges, OlderBridgeOverALoaderAnswersTheLoaderInquiry) {
    Install(json::array({{{"bus", "usb"}, {"bridge", "older"}, {"model", "K35"}}}));
    ASSERT_TRUE(Vendor(0, VendorBlock(0x83, {0}), false, {}, 0));
    std::array<std::uint8_t, 40> inquiry{};
    ASSERT_EQ(DispatchCommand(0, true, kInquiry, inquiry, 40), 1);
    EXPECT_EQ(std::memcmp(inquiry.data() + 8, "Generic FCR USB Loader ", 23), 0);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x83, {2}), false, {}, 0));
    ASSERT_EQ(DispatchCommand(0, true, kInquiry, inquiry, 40), 1);
    EXPECT_NE(std::memcmp(inquiry.data() + 8, "Generic FCR USB Loader ", 23), 0);
}

}  // namespace
}  // namespace vt::test
