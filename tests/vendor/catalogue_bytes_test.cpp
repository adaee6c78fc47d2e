// What each command puts on the wire, byte for byte, through a scripted kernel.

#include <gtest/gtest.h>

#include <cstring>

#include "access/device_tables.h"
#include "tests/support/fake_backend.h"
#include "vendor/carrier.h"
#include "vendor/catalogue.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::RecordedRequest;

class CatalogueBytes : public ::testing::Test {
  protected:
    void SetUp() override {
        DeviceTable = {};
        DeviceTable[0] = {"ide:/dev/sda", 0, 1, {}, {}};
        DeviceTable[1] = {"usb:/dev/sdb", 1, 0, {}, {}};
        CarrierMode = 2;
        fake->handler = [this](const RecordedRequest& request, platform::ScsiRequest& r) {
            if (answer && r.direction == platform::Direction::In) answer(request, r);
            if (r.cdb[0] == 0x85) test::SetDescriptorAtaReturn(r, 0, 0x50);
            return 0;
        };
    }
    void TearDown() override {
        DeviceTable = {};
        CarrierMode = 0;
    }
    // The task file of an ATA PASS-THROUGH(16) request: FEATURES, COUNT, LBA L/M/H, DEVICE,
    // COMMAND.
    static Bytes TaskFile(const RecordedRequest& r) {
        return {r.cdb[4], r.cdb[6], r.cdb[8], r.cdb[10], r.cdb[12], r.cdb[13], r.cdb[14]};
    }
    test::ScopedFakeBackend fake;
    std::function<void(const RecordedRequest&, platform::ScsiRequest&)> answer;
    std::array<std::uint8_t, 65536> buffer{};
};

TEST_F(CatalogueBytes, VendorCommandWithoutDataIsOneCommandSector) {
    ASSERT_EQ(VC_SwitchMode(0, 10), 1);
    ASSERT_EQ(fake->requests.size(), 1u);
    EXPECT_EQ(TaskFile(fake->requests[0]), (Bytes{0, 1, 0xFF, 0x34, 0x12, 0xE0, 0x88}));
    const auto& sector = fake->requests[0].data_out;
    ASSERT_EQ(sector.size(), 512u);
    EXPECT_EQ(Bytes(sector.begin(), sector.begin() + 4), (Bytes{0xFF, 0xE5, 0x83, 10}));
    EXPECT_TRUE(std::all_of(sector.begin() + 4, sector.end(), [](auto b) { return b == 0; }));
}

TEST_F(CatalogueBytes, DataPhaseIsAddressedBySubCommand) {
    ASSERT_EQ(VC_ReadMemory(0, 3, 0x00012345, buffer, 8), 1);
    ASSERT_EQ(fake->requests.size(), 2u);
    EXPECT_EQ(TaskFile(fake->requests[1]), (Bytes{0, 8, 0x86, 0x34, 0x12, 0xE0, 0x86}));
    EXPECT_EQ(fake->requests[1].length, 4096u);
    const auto& block = fake->requests[0].data_out;
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 8),
              (Bytes{0xFF, 0xE5, 0x86, 3, 0x00, 0x01, 0x23, 0x45}));
}

TEST_F(CatalogueBytes, CarrierOpcodesFollowTheMode) {
    CarrierMode = 1;
    VC_ReadMemory(0, 3, 0, buffer, 1);
    CarrierMode = 0;
    VC_ReadMemory(0, 3, 0, buffer, 1);
    ASSERT_EQ(fake->requests.size(), 4u);
    EXPECT_EQ(fake->requests[0].cdb[14], 0x8F);
    EXPECT_EQ(fake->requests[1].cdb[14], 0x8A);
    EXPECT_EQ(fake->requests[2].cdb[14], 0xC5);
    EXPECT_EQ(fake->requests[3].cdb[14], 0xC4);
    EXPECT_EQ(fake->requests[3].cdb[1], 0x08);  // PIO data-in
}

TEST_F(CatalogueBytes, DirectBridgeGetsTheFirstTwelveBytesAsCdb) {
    ASSERT_EQ(VC_ReadFlashPage(1, 2, 1, 0x0123, 0x0045, 3, 1, buffer, 32, 32, 0xAABBCCDD), 1);
    ASSERT_EQ(fake->requests.size(), 1u);
    EXPECT_EQ(fake->requests[0].cdb,
              (Bytes{0xFF, 0x04, 0x89, 2, 1, 0x01, 0x23, 0x00, 0x45, 3, 1, 32}));
    EXPECT_EQ(fake->requests[0].timeout_ms, 300000u);
    EXPECT_TRUE(VA_UnlockVendorCmd(1));
    EXPECT_EQ(fake->requests.size(), 1u);  // nothing sent for the unlock
}

TEST_F(CatalogueBytes, TableReadsCarryTheirValueInBytesTwelveToFifteen) {
    ASSERT_EQ(VC_ReadBadBlockTable(0, buffer, 4, 3, 1, 0x01020304), 1);
    const auto& block = fake->requests[0].data_out;
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 16),
              (Bytes{0xFF, 0xE5, 0x00, 3, 1, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}));
}

TEST_F(CatalogueBytes, ReadSectorsInBothForms) {
    ASSERT_EQ(VC_ReadSectors(0, buffer, 8, 0x0ABCDEF1), 1);
    EXPECT_EQ(TaskFile(fake->requests[0]), (Bytes{0, 8, 0xF1, 0xDE, 0xBC, 0xEA, 0xC8}));
    EXPECT_EQ(fake->requests[0].cdb[1], 0x0C);  // DMA
    ASSERT_EQ(VC_ReadSectors(1, buffer, 8, 0x0ABCDEF1), 1);
    EXPECT_EQ(fake->requests[1].cdb, (Bytes{0x28, 0, 0x0A, 0xBC, 0xDE, 0xF1, 0, 0, 8, 0, 0, 0}));
    ASSERT_EQ(VC_WriteSectors(1, buffer, 2, 7), 1);
    EXPECT_EQ(fake->requests[2].cdb, (Bytes{0x2A, 0, 0, 0, 0, 7, 0, 0, 2, 0, 0, 0}));
}

// A run the short forms cannot reach goes out in the long ones, never cut to another sector.
TEST_F(CatalogueBytes, RunsPastTheShortFormsReachUseTheLongOnes) {
    ASSERT_EQ(VC_WriteSectors(0, buffer, 8, 0x0FFFFFF8), 1);  // ends exactly at 2^28
    EXPECT_EQ(TaskFile(fake->requests[0]), (Bytes{0, 8, 0xF8, 0xFF, 0xFF, 0xEF, 0xCA}));
    ASSERT_EQ(VC_WriteSectors(0, buffer, 8, 0x0FFFFFF9), 1);
    EXPECT_EQ(fake->requests[1].cdb,
              (Bytes{0x85, 0x0D, 0x26, 0, 0, 0, 8, 0x0F, 0xF9, 0, 0xFF, 0, 0xFF, 0x40, 0x35, 0}));
    ASSERT_EQ(VC_ReadSectors(0, buffer, 1, 0xA1B2C3D4E5F6), 1);
    EXPECT_EQ(fake->requests[2].cdb, (Bytes{0x85, 0x0D, 0x2E, 0, 0, 0, 1, 0xC3, 0xF6, 0xB2, 0xE5,
                                            0xA1, 0xD4, 0x40, 0x25, 0}));
    ASSERT_EQ(VC_ReadSectors(1, buffer, 2, 0xFFFFFFFF), 1);
    EXPECT_EQ(fake->requests[3].cdb,
              (Bytes{0x88, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2, 0, 0}));
    EXPECT_EQ(VC_WriteSectors(0, buffer, 1, std::uint64_t{1} << 48), 2);
    EXPECT_EQ(VC_WriteSectors(1, buffer, 0, 0), 2);
    EXPECT_EQ(fake->requests.size(), 4u);
}

TEST_F(CatalogueBytes, CommandsOfOnePathAreRefusedOnTheOtherUnsent) {
    EXPECT_EQ(VC_Identify(1, buffer, 1), 2);
    EXPECT_EQ(VC_SmartReadData(1, buffer, 1), 2);
    EXPECT_EQ(VC_ReadSmartUsb(0, buffer, 1), 2);
    EXPECT_EQ(VC_ResetSmart(1, 1, 0, buffer, 1), 2);
    EXPECT_EQ(VC_ReadSpiFlash(1, buffer, 0, 512, 1), 2);
    EXPECT_EQ(VC_ReadDramLayout(1, buffer, 1), 2);
    EXPECT_EQ(VC_ReadCapacity(0, buffer, 1), 2);
    EXPECT_EQ(VC_SetFeatures(1, 0x02, 0), 1);
    EXPECT_EQ(VC_FlushCache(1), 1);
    buffer[0] = 0x77;
    EXPECT_EQ(VC_Inquiry(0, buffer, 1), 1);
    EXPECT_EQ(buffer[0], 0x77);
    EXPECT_TRUE(fake->requests.empty());
}

TEST_F(CatalogueBytes, ResetSmartCarriesItsBlockInTheDataSector) {
    ASSERT_EQ(VC_ResetSmart(0, 2, 0, buffer, 1), 1);
    ASSERT_EQ(fake->requests.size(), 2u);
    EXPECT_EQ(TaskFile(fake->requests[1]), (Bytes{0, 1, 0x05, 0x34, 0x12, 0xE0, 0x88}));
    const auto& data = fake->requests[1].data_out;
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 4), (Bytes{0xFF, 0xE5, 0x05, 2}));
}

TEST_F(CatalogueBytes, StandardCommandBlocks) {
    VC_SetFeatures(0, 0x02, 0x44332211);
    EXPECT_EQ(TaskFile(fake->requests[0]), (Bytes{0x02, 0x11, 0x22, 0x33, 0x44, 0xE0, 0xEF}));
    VC_SmartReadThresholds(0, buffer, 1);
    EXPECT_EQ(TaskFile(fake->requests[1]), (Bytes{0xD1, 1, 0, 0x4F, 0xC2, 0, 0xB0}));
    VC_SmartEnable(0);
    EXPECT_EQ(TaskFile(fake->requests[2]), (Bytes{0xD8, 1, 0, 0x4F, 0xC2, 0, 0xB0}));
    VC_Inquiry(1, buffer, 1);
    EXPECT_EQ(fake->requests[3].cdb, (Bytes{0x12, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(fake->requests[3].length, 40u);
}

TEST_F(CatalogueBytes, ReadRegisterWantsTheCarrierMarker) {
    std::uint8_t value = 0x11;
    answer = [](const RecordedRequest&, platform::ScsiRequest& r) {
        r.data.data()[0] = 0x00;
        r.data.data()[1] = 0x42;
    };
    EXPECT_EQ(VC_ReadRegister(0, 0x1CF5, value), 3);
    EXPECT_EQ(value, 0x11);
    answer = [](const RecordedRequest&, platform::ScsiRequest& r) {
        r.data.data()[0] = 0xE5;
        r.data.data()[1] = 0x42;
    };
    EXPECT_EQ(VC_ReadRegister(0, 0x1CF5, value), 1);
    EXPECT_EQ(value, 0x42);
    EXPECT_EQ(VC_ReadRegister(1, 0x1CF5, value), 1);
    EXPECT_EQ(value, 0xE5);  // a direct bridge answers the value in byte 0
}

TEST_F(CatalogueBytes, ShortBufferIsRefusedUnsent) {
    std::array<std::uint8_t, 100> small{};
    EXPECT_EQ(VC_ReadMemory(0, 3, 0, small, 1), 2);
    EXPECT_EQ(VC_Identify(0, small, 1), 2);
    EXPECT_EQ(VC_ReadMemory(1, 3, 0, small, 1), 2);
    EXPECT_TRUE(fake->requests.empty());
}

TEST_F(CatalogueBytes, CarrierRefusesMoreThan128Sectors) {
    std::vector<std::uint8_t> big(129 * 512);
    EXPECT_EQ(VC_ReadMemory(0, 3, 0, big, 129), 2);
    EXPECT_EQ(fake->requests.size(), 1u);  // the command sector went, the data phase did not
}

}  // namespace
}  // namespace vt
