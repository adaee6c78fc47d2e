#include "ctrl/rw_self_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "access/device_tables.h"

#include "platform/forwarding_backend.h"
#include "tests/ctrl/bench_drive.h"

namespace vt {
namespace {

constexpr std::uint8_t kWriteDma = 0xCA;
constexpr std::uint8_t kReadDma = 0xC8;

nlohmann::json Drive(std::uint32_t sectors) {
    return {{"bus", "ide"},
            {"identify", test::IdentifyBlob(sectors, "Vantrel SSD").Json()},
            {"capacity_sectors", sectors}};
}

std::vector<std::uint32_t> WriteLbas(const test::BenchDrive& bench) {
    std::vector<std::uint32_t> lbas;
    for (const auto& c : bench.Log()) {
        if (c.kind == sim::CommandKind::Ata && c.opcode == kWriteDma)
            lbas.push_back(test::AtaLba(c));
    }
    return lbas;
}

// The 1 GiB regions the region loop wrote to (every write but the last two).
std::set<std::uint32_t> RegionsWritten(const std::vector<std::uint32_t>& lbas) {
    std::set<std::uint32_t> regions;
    for (std::size_t i = 0; i + 2 < lbas.size(); ++i)
        regions.insert(lbas[i] / kSelfTestRegionSectors);
    return regions;
}

class RwSelfTest : public ::testing::Test {
  protected:
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(128 * 1024);
};

TEST_F(RwSelfTest, ADriveBelowOneGiBIsJudgedByItsFirstAndLastSector) {
    test::BenchDrive bench(Drive(1000000));
    ASSERT_TRUE(RunRwSelfTest(0, buffer_));
    EXPECT_EQ(WriteLbas(bench), (std::vector<std::uint32_t>{0, 999999}));
    const auto first = bench.drive().ReadUserSectors(0, 1);
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](std::uint8_t b) { return b == 0xFF; }));
    const auto last = bench.drive().ReadUserSectors(999999, 1);
    EXPECT_TRUE(MatchesPattern(last, 1, 999999));
}

TEST_F(RwSelfTest, FifteenGiBTestsEveryRegionAndTwentyEverySecond) {
    {
        test::BenchDrive bench(Drive(15 * kSelfTestRegionSectors + 5000));
        ASSERT_TRUE(RunRwSelfTest(0, buffer_));
        const auto lbas = WriteLbas(bench);
        EXPECT_EQ(lbas.size(), 15u * 20 + 2);
        std::set<std::uint32_t> all;
        for (std::uint32_t i = 0; i < 15; ++i) all.insert(i);
        EXPECT_EQ(RegionsWritten(lbas), all);
        // The run list, in order, at the region's base.
        const std::uint32_t base = 14 * kSelfTestRegionSectors;
        const std::vector<std::uint32_t> region14(lbas.begin() + 14 * 20, lbas.begin() + 15 * 20);
        for (std::size_t step = 0; step < kSelfTestRuns.size(); ++step) {
            EXPECT_EQ(region14[step], base + kSelfTestRuns[step].offset) << step;
        }
        const auto run = bench.drive().ReadUserSectors(base + 154900, 33);
        EXPECT_TRUE(MatchesPattern(run, 33, base + 154900));
    }
    {
        test::BenchDrive bench(Drive(20 * kSelfTestRegionSectors));
        ASSERT_TRUE(RunRwSelfTest(0, buffer_));
        const auto lbas = WriteLbas(bench);
        EXPECT_EQ(lbas.size(), 10u * 20 + 2);
        EXPECT_EQ(RegionsWritten(lbas),
                  (std::set<std::uint32_t>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18}));
        EXPECT_EQ(lbas.back(), 20 * kSelfTestRegionSectors - 1);
    }
}

TEST_F(RwSelfTest, ARunAtLba258StartsWithWord0200h) {
    test::BenchDrive bench(Drive(1000000));
    ASSERT_TRUE(VA_WriteVerifyRange(0, buffer_, 1, 258));
    const auto sector = bench.drive().ReadUserSectors(258, 1);
    EXPECT_EQ(sector[0], 0x00);
    EXPECT_EQ(sector[1], 0x02);
    EXPECT_EQ(sector[2], 0x01);
    EXPECT_EQ(sector[3], 0x02);
    // Written, flushed, then read back.
    std::vector<std::uint8_t> ata;
    for (const auto& c : bench.Log()) ata.push_back(c.opcode);
    EXPECT_EQ(ata, (std::vector<std::uint8_t>{kWriteDma, 0xE7, kReadDma}));
}

TEST_F(RwSelfTest, ADriveOf8192SectorsFailsWithoutWriting) {
    test::BenchDrive bench(Drive(8192));
    EXPECT_FALSE(RunRwSelfTest(0, buffer_));
    EXPECT_TRUE(WriteLbas(bench).empty());
}

TEST_F(RwSelfTest, AnUnreadableCapacityFailsWithoutWriting) {
    nlohmann::json drive = Drive(1000000);
    drive["faults"] = {{{"op", "ata:EC"}, {"effect", "fail"}}};
    test::BenchDrive failing(drive);
    EXPECT_FALSE(RunRwSelfTest(0, buffer_));
    EXPECT_TRUE(WriteLbas(failing).empty());
}

TEST_F(RwSelfTest, ADiskInUseIsRefusedBeforeAnythingIsSent) {
    nlohmann::json drive = Drive(3 * kSelfTestRegionSectors);
    drive["use"] = {{"mounts", {{{"device", "/dev/sda2"}, {"on", "/"}}}},
                    {"holders", {{{"device", "/dev/sda3"}, {"by", "dm-0 (vg0-home)"}}}}};
    test::BenchDrive bench(drive);
    SelfTestObserver observer;
    EXPECT_FALSE(RunRwSelfTest(0, buffer_, &observer));
    EXPECT_EQ(observer.outcome, SelfTestObserver::Outcome::InUse);
    EXPECT_NE(observer.refusal.find("/dev/sda is in use: /dev/sda2 is mounted on /; /dev/sda3 is "
                                    "held by dm-0 (vg0-home)"),
              std::string::npos)
        << observer.refusal;
    EXPECT_NE(observer.refusal.find("root file system"), std::string::npos);
    EXPECT_TRUE(bench.Log().empty());
}

// Past 2 TiB the runs go out as 48-bit commands (READ(16)/WRITE(16) on a bridge) and the last
// sector is the disk's own, not one 2 TiB lower; at exactly 2^32 sectors the capacity is read.
TEST_F(RwSelfTest, DrivesOfTwoTiBAndMoreAreTestedToTheirLastSector) {
    const std::uint64_t big = 7814037168;
    for (const nlohmann::json& drive :
         {nlohmann::json{{"bus", "ide"}, {"capacity_sectors", std::uint64_t{1} << 32}},
          nlohmann::json{{"bus", "ide"}, {"capacity_sectors", big}},
          nlohmann::json{{"bus", "usb"}, {"bridge", "older"}, {"capacity_sectors", big}}}) {
        test::BenchDrive bench(drive);
        const bool bridge = drive["bus"] == "usb";
        if (bridge) {
            EntryOf(0).AtaPassThrough = 0;
            EntryOf(0).DirectVendorCdb = 1;
        }
        const std::uint64_t sectors = drive["capacity_sectors"];
        // A bridge's capacity is what READ CAPACITY answers, the last LBA itself.
        const std::uint64_t last = bridge ? sectors - 2 : sectors - 1;
        ASSERT_TRUE(RunRwSelfTest(0, buffer_)) << drive.dump();
        EXPECT_TRUE(MatchesPattern(bench.drive().ReadUserSectors(last, 1), 1, last))
            << drive.dump();
        const auto wide = std::count_if(bench.Log().begin(), bench.Log().end(), [&](const auto& c) {
            return c.opcode == (bridge ? 0x8A : 0x35);
        });
        EXPECT_GT(wide, 0);
        if (sectors != big) continue;
        // The highest region lies past 2^32; nothing landed on the last sector's 32-bit cut.
        const std::uint64_t base = 3495 * kSelfTestRegionSectors + 154900;
        EXPECT_TRUE(MatchesPattern(bench.drive().ReadUserSectors(base, 33), 33, base));
        EXPECT_EQ(bench.drive().ReadUserSectors(last & 0xFFFFFFFF, 1),
                  std::vector<std::uint8_t>(512, 0));
    }
}

// Flips one bit of the second word of the first sector read: the write and the read succeed.
class SecondWordFlipper : public platform::ForwardingBackend {
  public:
    using ForwardingBackend::ForwardingBackend;
    int AtaPassThrough(int handle, platform::AtaRequest& request) override {
        const int result = ForwardingBackend::AtaPassThrough(handle, request);
        if (!flipped_ && result == 0 && request.task_file[6] == kReadDma &&
            request.data.size() >= 4) {
            request.data[2] ^= 0x01;
            flipped_ = true;
        }
        return result;
    }

  private:
    bool flipped_ = false;
};

TEST_F(RwSelfTest, AOneWordMismatchFailsTheTest) {
    test::BenchDrive bench(Drive(3 * kSelfTestRegionSectors));
    bench.Wrap<SecondWordFlipper>();
    EXPECT_FALSE(RunRwSelfTest(0, buffer_));
    // Nothing follows the read of the first run.
    EXPECT_EQ(WriteLbas(bench).size(), 1u);
    EXPECT_EQ(bench.Log().back().opcode, kReadDma);
}

}  // namespace
}  // namespace vt
