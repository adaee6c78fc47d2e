// What a kernel transport gets back from a bench drive: the same answers as the bench backend,
// a command the drive never completes, a drive that went away, and the image the server leaves.

#include "serve/scsi_exchange.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "serve/disk_image.h"
#include "sim/bench.h"
#include "tests/support/fake_backend.h"

namespace vt {
namespace {

using nlohmann::json;
using serve::DirectionOfCdb;
using serve::Outcome;
using sim::Direction;

std::unique_ptr<platform::BenchBackend> BenchOf(const json& drive) {
    std::string error;
    auto backend = sim::MakeBench({{"drives", json::array({drive})}}, error);
    EXPECT_TRUE(backend) << error;
    return backend;
}

json ScsiDrive() {
    return {{"bus", "scsi"},    {"model", "K14"},          {"build", "2"},
            {"revision", "30"}, {"serial", "VT14SERVE01"}, {"capacity_sectors", 4096}};
}

TEST(ServeDirection, FollowsTheOpcodeAndThePassThroughFields) {
    const std::uint8_t read10[10] = {0x28};
    const std::uint8_t write10[10] = {0x2A};
    const std::uint8_t inquiry[6] = {0x12};
    EXPECT_EQ(DirectionOfCdb(read10), Direction::In);
    EXPECT_EQ(DirectionOfCdb(write10), Direction::Out);
    EXPECT_EQ(DirectionOfCdb(inquiry), Direction::In);
    // ATA PASS-THROUGH(16): PIO data-in with T_DIR, PIO data-out, non-data, no transfer length.
    const std::uint8_t identify[16] = {0x85, 4 << 1, 0x0E};
    const std::uint8_t write_log[16] = {0x85, 5 << 1, 0x06};
    const std::uint8_t non_data[16] = {0x85, 3 << 1, 0x20};
    const std::uint8_t no_length[12] = {0xA1, 4 << 1, 0x08};
    EXPECT_EQ(DirectionOfCdb(identify), Direction::In);
    EXPECT_EQ(DirectionOfCdb(write_log), Direction::Out);
    EXPECT_EQ(DirectionOfCdb(non_data), Direction::None);
    EXPECT_EQ(DirectionOfCdb(no_length), Direction::None);
    EXPECT_EQ(DirectionOfCdb({}), Direction::None);
}

TEST(ServeExchange, AnswersAsTheBenchBackendDoes) {
    auto backend = BenchOf(ScsiDrive());
    sim::VirtualDrive& drive = sim::BenchOf(*backend).Drive(0);
    std::vector<std::uint8_t> data(96);
    const std::uint8_t inquiry[6] = {0x12, 0, 0, 0, 96, 0};
    const auto answer = serve::Run(drive, backend->Clock(), inquiry, Direction::In, data);
    EXPECT_EQ(answer.outcome, Outcome::Answered);
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(answer.transferred, 96u);
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.end()), drive.CurrentInquiry());

    // A read past the end: CHECK CONDITION with the drive's sense, nothing moved.
    std::vector<std::uint8_t> sector(512);
    const std::uint8_t past_end[10] = {0x28, 0, 0, 0, 0x10, 0x00, 0, 0, 1, 0};
    const auto refused = serve::Run(drive, backend->Clock(), past_end, Direction::In, sector);
    EXPECT_EQ(refused.status, 0x02);
    ASSERT_GE(refused.sense.size(), 14u);
    EXPECT_EQ(refused.sense[2], 0x05);
    EXPECT_EQ(refused.sense[12], 0x21);

    // ATA PASS-THROUGH(16) IDENTIFY DEVICE: the drive's IDENTIFY data.
    const std::uint8_t identify[16] = {0x85, 4 << 1, 0x0E, 0, 0, 0, 1,    0,
                                       0,    0,      0,    0, 0, 0, 0xEC, 0};
    const auto identified = serve::Run(drive, backend->Clock(), identify, Direction::In, sector);
    EXPECT_EQ(identified.status, 0);
    EXPECT_EQ(sector, drive.CurrentIdentify());
}

TEST(ServeExchange, ATimeOutIsWithheldAndAGoneDriveStaysGone) {
    json drive_json = ScsiDrive();
    drive_json["faults"] = json::array({{{"op", "scsi:00"}, {"count", 1}, {"effect", "timeout"}},
                                        {{"op", "scsi:25"}, {"effect", "gone"}}});
    auto backend = BenchOf(drive_json);
    sim::VirtualDrive& drive = sim::BenchOf(*backend).Drive(0);
    const std::uint8_t test_unit_ready[6] = {0x00};
    EXPECT_EQ(serve::Run(drive, backend->Clock(), test_unit_ready, Direction::None, {}).outcome,
              Outcome::Withheld);
    // The fault hit once: the drive answers again.
    const auto again = serve::Run(drive, backend->Clock(), test_unit_ready, Direction::None, {});
    EXPECT_EQ(again.outcome, Outcome::Answered);
    EXPECT_EQ(again.status, 0);

    std::vector<std::uint8_t> capacity(8);
    const std::uint8_t read_capacity[10] = {0x25};
    EXPECT_EQ(serve::Run(drive, backend->Clock(), read_capacity, Direction::In, capacity).outcome,
              Outcome::Gone);
    EXPECT_EQ(serve::Run(drive, backend->Clock(), test_unit_ready, Direction::None, {}).outcome,
              Outcome::Gone);
}

TEST(ServeImage, HoldsTheWrittenSectorsAtTheirPlace) {
    auto backend = BenchOf(ScsiDrive());
    sim::VirtualDrive& drive = sim::BenchOf(*backend).Drive(0);
    std::vector<std::uint8_t> sector(512, 0xA5);
    const std::uint8_t write10[10] = {0x2A, 0, 0, 0, 0, 150, 0, 0, 1, 0};
    ASSERT_EQ(serve::Run(drive, backend->Clock(), write10, Direction::Out, sector).status, 0);

    test::ScopedTempDir dir;
    std::string error;
    ASSERT_TRUE(serve::WriteUserImage(drive, dir.File("drive0.img"), error)) << error;
    const auto image = test::ReadAll(dir.File("drive0.img"));
    ASSERT_EQ(image.size(), 4096u * 512u);
    EXPECT_EQ(image[150 * 512], 0xA5);
    EXPECT_EQ(image[151 * 512 - 1], 0xA5);
    EXPECT_EQ(image[149 * 512], 0x00);
    EXPECT_EQ(image[151 * 512], 0x00);

    EXPECT_FALSE(serve::WriteUserImage(drive, dir.File("missing/drive0.img"), error));
    EXPECT_NE(error.find("missing/drive0.img"), std::string::npos);
}

}  // namespace
}  // namespace vt
