// The capture's recording layer: it passes reads, keeps their answers, and never lets a command
// through that would change the drive.

#include <gtest/gtest.h>

#include <cerrno>

#include "capture/recorder.h"
#include "sim/bench.h"

namespace vt::capture {
namespace {

using platform::Direction;

class Recorder : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        auto backend = sim::MakeBench(
            nlohmann::json::parse(R"({"drives": [{"bus": "ide", "model": "K38"}]})"), error);
        ASSERT_TRUE(backend) << error;
        bench_ = &sim::BenchOf(*backend);
        recorder_ = std::make_unique<CaptureRecorder>(std::move(backend));
        handle_ = recorder_->Open("ide:/dev/sda");
        ASSERT_GE(handle_, 0);
    }

    // One SCSI request; returns the backend's errno and leaves the SCSI status in `status_`.
    int Send(std::vector<std::uint8_t> cdb, Direction direction, std::vector<std::uint8_t>& data) {
        platform::ScsiRequest request;
        request.SetCdb(cdb);
        request.direction = direction;
        request.data = data;
        request.sense = sense_;
        const int error = recorder_->ScsiPassThrough(handle_, request);
        status_ = request.outcome.scsi_status;
        return error;
    }

    // One ATA request (PIO); leaves the returned STATUS register in `status_`.
    int SendAta(platform::TaskFile task_file, Direction direction,
                std::vector<std::uint8_t>& data) {
        platform::AtaRequest request;
        request.task_file = task_file;
        request.direction = direction;
        request.data = data;
        const int error = recorder_->AtaPassThrough(handle_, request);
        status_ = request.registers[6];
        return error;
    }
    static platform::TaskFile Tf(std::uint8_t command, std::uint8_t features = 0,
                                 std::uint8_t count = 1, std::uint8_t low = 0, std::uint8_t mid = 0,
                                 std::uint8_t high = 0) {
        return {features, count, low, mid, high, 0xE0, command, 0};
    }

    // ATA PASS-THROUGH(16) as a SCSI command: protocol 4 PIO in, 5 PIO out, 3 no data.
    static std::vector<std::uint8_t> Ata(std::uint8_t protocol, std::uint8_t command,
                                         std::uint8_t features = 0, std::uint8_t count = 1,
                                         std::uint8_t low = 0, std::uint8_t mid = 0,
                                         std::uint8_t high = 0) {
        const std::uint8_t flags = protocol == 4 ? 0x0E : protocol == 5 ? 0x06 : 0x00;
        return {0x85,     static_cast<std::uint8_t>(protocol << 1),
                flags,    0,
                features, 0,
                count,    0,
                low,      0,
                mid,      0,
                high,     0xE0,
                command,  0};
    }

    std::vector<std::uint8_t> Unlock() {
        std::vector<std::uint8_t> none;
        EXPECT_EQ(SendAta(Tf(0xEF, 0xDC, 0x56), Direction::None, none), 0);
        return none;
    }

    int CommandSector(std::uint8_t code, std::uint8_t parameter = 0) {
        std::vector<std::uint8_t> sector(512, 0);
        sector[0] = 0xFF;
        sector[1] = 0xE5;
        sector[2] = code;
        sector[3] = parameter;
        return SendAta(Tf(0x8F, 0, 1, 0xFF, 0x34, 0x12), Direction::Out, sector);
    }

    const DriveRecording& Recording() { return *recorder_->Recording("/dev/sda"); }

    sim::Bench* bench_ = nullptr;
    std::unique_ptr<CaptureRecorder> recorder_;
    int handle_ = -1;
    std::array<std::uint8_t, 32> sense_{};
    std::uint8_t status_ = 0;
};

TEST_F(Recorder, RefusesEveryWriteAndSendsNothingOfIt) {
    std::vector<std::uint8_t> sector(512, 0xAB);
    EXPECT_EQ(Send({0x2A, 0, 0, 0, 0, 8, 0, 0, 1, 0}, Direction::Out, sector), EPERM);  // WRITE(10)
    EXPECT_EQ(Send(Ata(5, 0x30, 0, 1, 8), Direction::Out, sector), EPERM);  // WRITE SECTORS
    EXPECT_EQ(SendAta(Tf(0x30, 0, 1, 8), Direction::Out, sector), EPERM);
    std::vector<std::uint8_t> none;
    EXPECT_EQ(SendAta(Tf(0xEF, 0x02), Direction::None, none), EPERM);  // a cache setting
    EXPECT_EQ(SendAta(Tf(0xB0, 0xD9, 0, 0, 0x4F, 0xC2), Direction::None, none), EPERM);
    Unlock();
    EXPECT_EQ(CommandSector(0x05, 1), EPERM);  // the S.M.A.R.T. counter reset
    EXPECT_EQ(CommandSector(0x85), EPERM);     // a register write
    EXPECT_EQ(CommandSector(0x87), EPERM);     // a memory write
    EXPECT_EQ(CommandSector(0x83, 0), EPERM);  // into the loader

    const auto& log = bench_->Log(0);
    ASSERT_EQ(log.size(), 1u);  // the unlock only
    EXPECT_EQ(log[0].opcode, 0xEF);
    EXPECT_EQ(bench_->Drive(0).ReadUserSectors(8, 1), std::vector<std::uint8_t>(512, 0));
    EXPECT_EQ(Recording().refused.size(), 9u);
    EXPECT_EQ(bench_->Drive(0).State().mode, sim::ControllerMode::Firmware);

    // Loading the firmware log's program is allowed when asked for.
    recorder_->AllowCodeLoad(true);
    EXPECT_EQ(CommandSector(0x83, 10), 0);
    EXPECT_EQ(bench_->Drive(0).State().mode, sim::ControllerMode::Loader);
    recorder_->AllowCodeLoad(false);
    Unlock();
    EXPECT_EQ(CommandSector(0x87), EPERM);
}

TEST_F(Recorder, KeepsAnswersByMeaningAndFailuresAsFaults) {
    std::vector<std::uint8_t> identify(512, 0);
    ASSERT_EQ(SendAta(Tf(0xEC), Direction::In, identify), 0);
    EXPECT_EQ(Recording().raw.identify, bench_->Drive(0).Config().identify);
    EXPECT_EQ(Recording().initial_mode, RecordedMode::Firmware);

    Unlock();
    ASSERT_EQ(CommandSector(0x86, 3), 0);  // ReadMemory space 3 from 0
    std::vector<std::uint8_t> memory(1024, 0);
    ASSERT_EQ(SendAta(Tf(0x8A, 0, 2, 0x86, 0x34, 0x12), Direction::In, memory), 0);
    ASSERT_EQ(Recording().raw.memory.count(3), 1u);
    EXPECT_EQ(Recording().raw.memory.at(3).Runs().at(0), memory);

    // A data phase without its command sector fails on the drive: a fault, no answer.
    std::vector<std::uint8_t> stray(512, 0);
    ASSERT_EQ(SendAta(Tf(0x8A, 0, 1, 0x89, 0x34, 0x12), Direction::In, stray), 0);
    EXPECT_EQ(status_ & 0x01, 0x01);  // ERR
    ASSERT_EQ(Recording().raw.faults.size(), 1u);
    EXPECT_EQ(Recording().raw.faults[0].op, "ata:8A");
    EXPECT_EQ(Recording().raw.faults[0].skip, 1u);  // the second 8Ah the drive saw
    EXPECT_TRUE(Recording().raw.flash_pages.empty());
}

}  // namespace
}  // namespace vt::capture
