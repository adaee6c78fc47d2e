// The firmware's side of the vendor protocol, driven by the host's own transports.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "access/device_tables.h"
#include "access/dispatch.h"
#include "tests/sim/bench_fixture.h"

namespace vt::test {
namespace {

using nlohmann::json;

const json kK38 = json::array({{{"bus", "ide"}, {"model", "K38"}, {"build", "3"}}});

class Carrier : public BenchTest {};

TEST_F(Carrier, StatusSignatureOnlyAfterUnlock) {
    Install(kK38);
    EXPECT_FALSE(StatusSignature(0));
    EXPECT_EQ(Unlock(0), 1);
    EXPECT_TRUE(StatusSignature(0));
    // A wrong unlock code is refused and unlocks nothing.
    Install(kK38);
    const Block wrong = {0xA1, 0x06, 0x00, 0xDC, 0x55, 0, 0, 0, 0xE0, 0xEF, 0, 0};
    EXPECT_NE(DispatchCommand(0, false, wrong, {}, 0), 1);
    EXPECT_FALSE(StatusSignature(0));
}

TEST_F(Carrier, CommandSectorThenDataPhaseReturnsTheLoaderBlock) {
    Install(kK38);
    ASSERT_EQ(Unlock(0), 1);
    std::array<std::uint8_t, 4096> block{};
    ASSERT_TRUE(Vendor(0, VendorBlock(0x86, {3, 0, 0, 0, 0}), true, block, 8));
    EXPECT_EQ(std::memcmp(block.data(), "LDBK BLOCKS V50", 16), 0);
    EXPECT_EQ(std::memcmp(block.data() + 0x324, "K38", 3), 0);
    EXPECT_EQ(block[0x306], '3');
    EXPECT_EQ(block[0x500] | block[0x501] << 8, 0x2813);  // Toshiba MLC, 16 KiB pages, 256 pages

    // The log shows the command sector, the decoded vendor command, then the data phase.
    const auto& log = bench().Log(0);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[1].opcode, 0x88);
    EXPECT_EQ(log[1].lba_low, 0xFF);
    EXPECT_EQ(log[2].kind, sim::CommandKind::VendorCarrier);
    EXPECT_EQ(log[2].sub_command, 0x86);
    EXPECT_EQ(log[2].sectors, 8u);
    EXPECT_EQ(log[2].direction, sim::Direction::In);
    EXPECT_EQ(log[3].opcode, 0x86);
    EXPECT_EQ(log[3].lba_low, 0x86);
    EXPECT_EQ(log[3].count, 8);
    EXPECT_EQ(log[2].ToString().rfind("vendor-carrier 86h ReadMemory in 8 sectors", 0), 0u)
        << log[2].ToString();
}

TEST_F(Carrier, DataPhaseNeedsItsCommandSector) {
    Install(kK38);
    ASSERT_EQ(Unlock(0), 1);
    std::array<std::uint8_t, 4096> data{};
    EXPECT_NE(CarrierRead(0, 0x86, data, 8), 1);  // no command sector at all
    ASSERT_TRUE(Vendor(0, VendorBlock(0x86, {3}), true, {}, 0));
    EXPECT_NE(CarrierRead(0, 0x89, data, 8), 1);  // data phase of another sub-command
    ASSERT_TRUE(Vendor(0, VendorBlock(0x86, {3}), true, {}, 0));
    EXPECT_EQ(CarrierRead(0, 0x86, data, 8), 1);
    EXPECT_NE(CarrierRead(0, 0x86, data, 8), 1);  // a data phase is consumed
    // A command sector with the route marker of a bridge block is refused.
    std::array<std::uint8_t, 512> sector{0xFF, 0x04, 0x86, 3};
    EXPECT_NE(CarrierWrite(0, 0xFF, sector, 1), 1);
}

TEST_F(Carrier, EveryCarrierModeHasItsOpcodes) {
    Install(kK38);
    ASSERT_EQ(Unlock(0), 1);
    for (const int mode : {0, 1, 2}) {
        std::array<std::uint8_t, 512> answer{};
        EXPECT_TRUE(Vendor(0, VendorBlock(0x84, {0, 0, 0x10, 0}), true, answer, 1, mode)) << mode;
        EXPECT_EQ(answer[0], 0xE5) << mode;
        const auto op = OpcodesOf(mode);
        const auto& log = bench().Log(0);
        EXPECT_EQ(log[log.size() - 3].opcode, op.write);
        EXPECT_EQ(log.back().opcode, op.read);
    }
    // Standard read opcodes at the carrier address are no carrier.
    const Block read_dma = {0xA1, 0x14, 0x0B, 0, 1, 0xFF, 0x34, 0x12, 0xE0, 0xC8, 0, 0};
    std::array<std::uint8_t, 512> data{};
    ASSERT_EQ(DispatchCommand(0, true, read_dma, data, 512), 1);
    EXPECT_EQ(data[0], 0);
}

TEST_F(Carrier, DataPhaseOfMoreThan128SectorsIsRefused) {
    // Through a SCSI path the host's 64 KiB limit does not apply, so the drive's own limit shows.
    Install(json::array({{{"bus", "scsi"}, {"model", "K38"}}}));
    ASSERT_EQ(Unlock(0), 1);
    std::vector<std::uint8_t> data(129 * 512);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x86, {3}), true, {}, 0));
    EXPECT_NE(CarrierRead(0, 0x86, data, 129), 1);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x86, {3}), true, {}, 0));
    EXPECT_EQ(CarrierRead(0, 0x86, data, 128), 1);
}

TEST_F(Carrier, ModeChangesSwitchIdentityAndForgetTheUnlock) {
    Install(kK38);
    ASSERT_EQ(Unlock(0), 1);
    std::array<std::uint8_t, 512> id{};
    ASSERT_EQ(Identify(0, id), 1);
    EXPECT_EQ(ModelOf(id), "Vantrel VTK38 SSD");

    ASSERT_TRUE(Vendor(0, VendorBlock(0x83, {0}), false, {}, 0));
    EXPECT_EQ(drive(0).State().mode, sim::ControllerMode::Loader);
    EXPECT_FALSE(StatusSignature(0));  // the controller restarted
    ASSERT_EQ(Identify(0, id), 1);
    EXPECT_EQ(ModelOf(id), "Vantrel VTFK3X SATA SSD Loader Device");
    EXPECT_EQ(id[434], 1);  // still a non-rotating device

    ASSERT_EQ(Unlock(0), 1);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x83, {1}), false, {}, 0));
    ASSERT_EQ(Identify(0, id), 1);
    EXPECT_EQ(ModelOf(id), "Vantrel VTK38 SSD");
    ASSERT_EQ(Unlock(0), 1);
    EXPECT_FALSE(Vendor(0, VendorBlock(0x83, {7}), false, {}, 0));  // no such mode
}

TEST_F(Carrier, CodeDownloadLandsInProgramRamAndReadsBack) {
    Install(json::array({{{"bus", "ide"}, {"model", "K38"}, {"mode", "loader"}}}));
    ASSERT_EQ(Unlock(0), 1);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x83, {10}), false, {}, 0));
    EXPECT_TRUE(drive(0).State().download_armed);
    ASSERT_EQ(Unlock(0), 1);
    std::vector<std::uint8_t> image(65536);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x87, {3, 0x40, 0x01, 0, 0}), false, image, 128));
    std::vector<std::uint8_t> back(65536);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x86, {3, 0x40, 0x01, 0, 0}), true, back, 128));
    EXPECT_EQ(back, image);
    EXPECT_EQ(drive(0).ReadMemory(3, 0x40010000, 65536), image);

    ASSERT_TRUE(Vendor(0, VendorBlock(0x82), false, {}, 0));
    EXPECT_EQ(drive(0).State().mode, sim::ControllerMode::Program);
}

TEST_F(Carrier, RegistersAndSmartCounters) {
    Install(json::array({{{"bus", "ide"}, {"model", "K38"}, {"smart", {{"power_cycles", 77}}}}}));
    ASSERT_EQ(Unlock(0), 1);
    ASSERT_TRUE(Vendor(0, VendorBlock(0x85, {0x1F, 0, 0x20, 0x04, 0x5A}), false, {}, 0));
    std::array<std::uint8_t, 512> answer{};
    ASSERT_TRUE(Vendor(0, VendorBlock(0x84, {0x1F, 0, 0x20, 0x04}), true, answer, 1));
    EXPECT_EQ(answer[0], 0xE5);  // through a command sector the value follows the route mark
    EXPECT_EQ(answer[1], 0x5A);

    EXPECT_EQ(drive(0).State().counters.power_cycles, 77u);
    std::array<std::uint8_t, 512> sector{};
    for (const std::uint8_t selector : {1, 2, 3}) {
        ASSERT_TRUE(Vendor(0, VendorBlock(0x05, {selector, 0, 0, 0, 0}), false, sector, 1));
    }
    EXPECT_EQ(drive(0).State().counters.power_cycles, 0u);
    EXPECT_EQ(drive(0).State().counters.power_loss, 0u);
    EXPECT_EQ(drive(0).State().counters.power_on_hours, 0u);
    EXPECT_FALSE(Vendor(0, VendorBlock(0x05, {4}), false, sector, 1));

    // The reset shows in the next SMART READ DATA.
    const Block read = {0xA1, 0x08, 0x0B, 0xD0, 1, 0, 0x4F, 0xC2, 0, 0xB0, 0, 0};
    ASSERT_EQ(DispatchCommand(0, true, read, sector, 512), 1);
    for (std::size_t at = 2; at < 362; at += 12) {
        if (sector[at] == 0x0C) {
            EXPECT_EQ(sector[at + 5], 0);
        }
    }
    const Block no_signature = {0xA1, 0x08, 0x0B, 0xD0, 1, 0, 0, 0, 0, 0xB0, 0, 0};
    EXPECT_NE(DispatchCommand(0, true, no_signature, sector, 512), 1);
}

TEST_F(Carrier, ForeignDiskRefusesTheVendorProtocol) {
    Install(json::array(
        {{{"bus", "ide"}, {"vendor", false}, {"product", "Otherco HD"}, {"rotation", 7200}}}));
    std::array<std::uint8_t, 512> id{};
    ASSERT_EQ(Identify(0, id), 1);
    EXPECT_EQ(ModelOf(id), "Otherco HD");
    EXPECT_EQ(id[434] | id[435] << 8, 7200);
    EXPECT_NE(Unlock(0), 1);
    EXPECT_FALSE(StatusSignature(0));
}

TEST_F(Carrier, UserSectorsAreSparseAndBounded) {
    Install(json::array({{{"bus", "ide"}, {"capacity_sectors", 1000}}}));
    std::array<std::uint8_t, 1024> data{};
    data[0] = 0xAB;
    data[1023] = 0xCD;
    const Block write = {0xA1, 0x16, 0x03, 0, 2, 0xE6, 0x03, 0, 0xE0, 0xCA, 0, 0};  // LBA 998
    ASSERT_EQ(DispatchCommand(0, false, write, data, 1024), 1);
    EXPECT_EQ(drive(0).ReadUserSectors(998, 2)[1023], 0xCD);
    std::array<std::uint8_t, 1024> back{};
    const Block read = {0xA1, 0x14, 0x0B, 0, 2, 0xE6, 0x03, 0, 0xE0, 0xC8, 0, 0};
    ASSERT_EQ(DispatchCommand(0, true, read, back, 1024), 1);
    EXPECT_EQ(back, data);
    const Block past_end = {0xA1, 0x14, 0x0B, 0, 3, 0xE6, 0x03, 0, 0xE0, 0xC8, 0, 0};
    std::array<std::uint8_t, 1536> more{};
    EXPECT_NE(DispatchCommand(0, true, past_end, more, 1536), 1);
}

}  // namespace
}  // namespace vt::test
