// What a bench drive keeps while it runs stays bounded: its memory images hold only what was
// written, its command log only the latest commands, and the user data a client writes only up to
// the bench's limit, past which a write is refused as a thinly provisioned disk refuses it.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/bench.h"
#include "sim/sparse_bytes.h"
#include "tests/sim/drive_request.h"

namespace vt::test {
namespace {

TEST(SparseBytes, ReadsBackEveryWriteWhateverItsPlaceLengthAndFill) {
    // Writes that start mid-page, cross pages, leave a page's tail of one value and overwrite parts
    // of older ones, checked against a flat copy of the space.
    constexpr std::uint64_t kBase = 0x10000 - 100;
    std::vector<std::uint8_t> flat(6 * 4096, 0);
    sim::SparseBytes sparse;
    std::mt19937 random(7);
    for (int i = 0; i < 400; ++i) {
        const std::size_t at = random() % (flat.size() - 100);
        const std::size_t length =
            std::min<std::size_t>(1 + random() % (i % 3 ? 40 : 9000), flat.size() - at);
        std::vector<std::uint8_t> bytes(length, static_cast<std::uint8_t>(random() % 2 ? 0 : i));
        if (i % 2) {
            for (auto& b : bytes) b = static_cast<std::uint8_t>(random() % 3);
        }
        sparse.Write(kBase + at, bytes);
        std::copy(bytes.begin(), bytes.end(), flat.begin() + static_cast<std::ptrdiff_t>(at));
    }
    std::vector<std::uint8_t> read(flat.size() + 200, 0xEE);
    sparse.Read(kBase - 100, read);
    EXPECT_TRUE(std::all_of(read.begin(), read.begin() + 100, [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::equal(flat.begin(), flat.end(), read.begin() + 100));

    // Past 4 GiB a write is dropped and a read gives zeros.
    sparse.Write(0xFFFFFFFE, std::vector<std::uint8_t>(4, 0xAB));
    std::array<std::uint8_t, 4> edge{};
    sparse.Read(0xFFFFFFFE, edge);
    EXPECT_EQ(edge, (std::array<std::uint8_t, 4>{0xAB, 0xAB, 0, 0}));
}

// WRITE(10) of `sectors` sectors of `value` at `lba`: the status, and the sense key, ASC and ASCQ.
std::array<int, 4> WriteSectors(sim::VirtualDrive& drive, platform::VirtualClock& clock,
                                std::uint32_t lba, std::uint8_t sectors, std::uint8_t value) {
    const std::array<std::uint8_t, 10> cdb = {
        0x2A, 0, 0,       0, static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba),
        0,    0, sectors, 0};
    const auto answer =
        SendToDrive(drive, clock, cdb, std::vector<std::uint8_t>(sectors * sim::kSectorSize, value),
                    platform::Direction::Out);
    return {answer.status, answer.sense[2] & 0x0F, answer.sense[12], answer.sense[13]};
}

class DriveBounds : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        backend_ =
            sim::MakeBench({{"drives", {{{"bus", "ide"}, {"capacity_sectors", 1000}}}}}, error);
        ASSERT_NE(backend_, nullptr) << error;
    }
    sim::VirtualDrive& drive() { return sim::BenchOf(*backend_).Drive(0); }
    platform::VirtualClock& clock() { return backend_->Clock(); }

  private:
    std::unique_ptr<platform::BenchBackend> backend_;
};

TEST_F(DriveBounds, TheLogKeepsTheLatestCommands) {
    const std::array<std::uint8_t, 6> unit_ready{};
    for (std::size_t i = 0; i < 3 * sim::kLoggedCommandsKept; ++i) {
        ReadFromDrive(drive(), clock(), unit_ready, 0);
    }
    const std::array<std::uint8_t, 10> capacity = {0x25};
    ReadFromDrive(drive(), clock(), capacity, 8);
    const auto& log = drive().State().log;
    EXPECT_GE(log.size(), sim::kLoggedCommandsKept);
    EXPECT_LE(log.size(), 2 * sim::kLoggedCommandsKept);
    EXPECT_EQ(log.back().opcode, 0x25);
}

TEST_F(DriveBounds, WritesPastTheLimitAreRefusedAndChangeNothing) {
    drive().ShareWrittenSectors(std::make_shared<sim::WrittenSectors>(sim::WrittenSectors{0, 4}));
    const std::array<int, 4> good = {0, 0, 0, 0};
    const std::array<int, 4> refused = {2, 0x07, 0x27, 0x07};  // no space left: write protected
    EXPECT_EQ(WriteSectors(drive(), clock(), 10, 3, 0x11), good);
    EXPECT_EQ(WriteSectors(drive(), clock(), 12, 3, 0x22), refused);  // two sectors more than 4
    EXPECT_EQ(drive().ReadUserSectors(12, 1), sim::Bytes(512, 0x11));
    EXPECT_EQ(drive().ReadUserSectors(13, 1), sim::Bytes(512, 0));

    // Sectors held may be written again; zeros give a sector back.
    EXPECT_EQ(WriteSectors(drive(), clock(), 10, 3, 0x33), good);
    EXPECT_EQ(WriteSectors(drive(), clock(), 500, 100, 0x00), good);
    EXPECT_EQ(WriteSectors(drive(), clock(), 10, 1, 0x00), good);
    EXPECT_EQ(WriteSectors(drive(), clock(), 20, 2, 0x44), good);
    EXPECT_EQ(drive().ReadUserSectors(10, 1), sim::Bytes(512, 0));
    EXPECT_EQ(drive().ReadUserSectors(11, 1), sim::Bytes(512, 0x33));
    EXPECT_EQ(drive().ReadUserSectors(21, 1), sim::Bytes(512, 0x44));
    EXPECT_EQ(drive().State().user_sectors.size(), 4u);
}

}  // namespace
}  // namespace vt::test
