// INQUIRY's vital product data as a SCSI/ATA translation layer answers it: the kernel's disk driver
// and SAT clients ask for pages at attach and loop or misread when the standard data comes back.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "sim/bench.h"
#include "tests/sim/drive_request.h"

namespace vt {
namespace {

using nlohmann::json;

test::DriveAnswer Inquire(sim::VirtualDrive& drive, platform::VirtualClock& clock,
                          std::uint8_t byte1, std::uint8_t page, std::uint16_t allocation = 600) {
    const std::uint8_t cdb[6] = {0x12,
                                 byte1,
                                 page,
                                 static_cast<std::uint8_t>(allocation >> 8),
                                 static_cast<std::uint8_t>(allocation),
                                 0};
    return test::ReadFromDrive(drive, clock, cdb, allocation);
}

std::unique_ptr<platform::BenchBackend> Bench(const json& drive) {
    std::string error;
    auto backend = sim::MakeBench({{"drives", json::array({drive})}}, error);
    EXPECT_TRUE(backend) << error;
    return backend;
}

TEST(VitalProductData, TheTranslationLayerAnswersItsPagesFromIdentify) {
    auto backend = Bench({{"bus", "scsi"},
                          {"model", "K14"},
                          {"build", "2"},
                          {"revision", "30"},
                          {"serial", "VT14VPD00001"}});
    sim::VirtualDrive& drive = sim::BenchOf(*backend).Drive(0);
    auto& clock = backend->Clock();

    const auto list = Inquire(drive, clock, 0x01, 0x00);
    ASSERT_EQ(list.status, 0);
    EXPECT_EQ(list.data, (std::vector<std::uint8_t>{0, 0x00, 0, 3, 0x00, 0x80, 0x89}));

    const auto serial = Inquire(drive, clock, 0x01, 0x80);
    ASSERT_EQ(serial.status, 0);
    ASSERT_EQ(serial.data.size(), 24u);
    EXPECT_EQ(std::string(serial.data.begin() + 4, serial.data.end()), "VT14VPD00001        ");

    const auto ata = Inquire(drive, clock, 0x01, 0x89);
    ASSERT_EQ(ata.status, 0);
    ASSERT_EQ(ata.data.size(), 572u);
    EXPECT_EQ(ata.data[56], 0xEC);
    EXPECT_EQ(std::vector<std::uint8_t>(ata.data.begin() + 60, ata.data.end()),
              drive.CurrentIdentify());
    // The allocation length cuts a page short.
    EXPECT_EQ(Inquire(drive, clock, 0x01, 0x89, 64).data.size(), 64u);

    // A page nobody answers, and a page code without EVPD: ILLEGAL REQUEST, INVALID FIELD IN CDB.
    for (const auto& refused :
         {Inquire(drive, clock, 0x01, 0xB0), Inquire(drive, clock, 0, 0x80)}) {
        EXPECT_EQ(refused.status, 0x02);
        EXPECT_EQ(refused.sense[2], 0x05);
        EXPECT_EQ(refused.sense[12], 0x24);
    }
    // The standard data is unchanged.
    EXPECT_EQ(Inquire(drive, clock, 0, 0, 96).data, drive.CurrentInquiry());
}

TEST(VitalProductData, ABridgeRefusesPagesItDoesNotHave) {
    auto backend = Bench({{"bus", "usb"}, {"bridge", "supported"}, {"capacity_sectors", 2048}});
    sim::VirtualDrive& drive = sim::BenchOf(*backend).Drive(0);
    const auto refused = Inquire(drive, backend->Clock(), 0x01, 0x80);
    EXPECT_EQ(refused.status, 0x02);
    EXPECT_EQ(refused.sense[12], 0x24);
}

}  // namespace
}  // namespace vt
