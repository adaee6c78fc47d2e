// What the kernel's disk driver asks at attach beyond INQUIRY: the mode pages a SCSI/ATA
// translation layer builds from IDENTIFY (the cache type sd shows comes from them) and the
// capacity in its 16-byte form.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sim/bench.h"
#include "tests/sim/drive_request.h"

namespace vt {
namespace {

using nlohmann::json;

class ModeSenseTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        json drive = {
            {"bus", GetParam()}, {"model", "K14"},          {"build", "2"},
            {"revision", "30"},  {"serial", "VT14MODE001"}, {"capacity_sectors", 5000000000}};
        if (std::string(GetParam()) == "usb") drive["bridge"] = "supported";
        std::string error;
        backend_ = sim::MakeBench({{"drives", json::array({drive})}}, error);
        ASSERT_TRUE(backend_) << error;
    }
    test::DriveAnswer Run(const std::vector<std::uint8_t>& cdb, std::size_t length) {
        return test::ReadFromDrive(sim::BenchOf(*backend_).Drive(0), backend_->Clock(), cdb,
                                   length);
    }
    std::unique_ptr<platform::BenchBackend> backend_;
};

TEST_P(ModeSenseTest, CachingPageFollowsIdentifyAndTheHeadersAddUp) {
    // MODE SENSE(6), caching page, with the block descriptor: the write cache IDENTIFY reports as
    // enabled, read look-ahead on (DRA clear).
    const auto six = Run({0x1A, 0x00, 0x08, 0x00, 0xFF, 0x00}, 255);
    ASSERT_EQ(six.status, 0);
    ASSERT_EQ(six.data.size(), 4u + 8u + 20u);
    EXPECT_EQ(six.data[0], six.data.size() - 1);
    EXPECT_EQ(six.data[3], 8);                         // block descriptor length
    EXPECT_EQ(six.data[10] << 8 | six.data[11], 512);  // block length
    EXPECT_EQ(six.data[12], 0x08);
    EXPECT_EQ(six.data[13], 18);
    EXPECT_EQ(six.data[14] & 0x04, 0x04);  // WCE
    EXPECT_EQ(six.data[24] & 0x20, 0);     // DRA

    // MODE SENSE(10), all pages, no block descriptor: the three pages in order.
    const auto ten = Run({0x5A, 0x08, 0x3F, 0, 0, 0, 0, 0x01, 0x00, 0}, 256);
    ASSERT_EQ(ten.status, 0);
    ASSERT_EQ(ten.data.size(), 8u + 12u + 20u + 12u);
    EXPECT_EQ((ten.data[0] << 8 | ten.data[1]), static_cast<int>(ten.data.size() - 2));
    EXPECT_EQ(ten.data[7], 0);
    EXPECT_EQ(ten.data[8], 0x01);
    EXPECT_EQ(ten.data[20], 0x08);
    EXPECT_EQ(ten.data[40], 0x0A);

    // Changeable values: only the write cache bit; an allocation length cuts the answer.
    const auto changeable = Run({0x1A, 0x08, 0x48, 0x00, 0xFF, 0x00}, 255);
    ASSERT_EQ(changeable.data.size(), 24u);
    EXPECT_EQ(changeable.data[6], 0x04);
    EXPECT_EQ(Run({0x1A, 0x08, 0x08, 0x00, 0x06, 0x00}, 255).data.size(), 6u);
}

TEST_P(ModeSenseTest, RefusesWhatATranslationLayerRefuses) {
    // Saved values, an unknown page, a subpage.
    const auto saved = Run({0x1A, 0x00, 0xC8, 0x00, 0xFF, 0x00}, 255);
    EXPECT_EQ(saved.status, 2);
    EXPECT_EQ(saved.sense[12], 0x39);
    EXPECT_EQ(Run({0x1A, 0x00, 0x1C, 0x00, 0xFF, 0x00}, 255).status, 2);
    EXPECT_EQ(Run({0x1A, 0x00, 0x08, 0x01, 0xFF, 0x00}, 255).status, 2);
}

TEST_P(ModeSenseTest, ReadCapacity16GivesTheWholeLastLba) {
    // 5,000,000,000 sectors: READ CAPACITY(10) can only say FFFFFFFFh.
    const auto answer = Run({0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, 32);
    ASSERT_EQ(answer.status, 0);
    ASSERT_EQ(answer.data.size(), 32u);
    std::uint64_t last = 0;
    for (int i = 0; i < 8; ++i) last = last << 8 | answer.data[i];
    EXPECT_EQ(last, 4999999999u);
    EXPECT_EQ(answer.data[10] << 8 | answer.data[11], 512);
    EXPECT_EQ(answer.data[14] & 0x80, 0);  // no thin provisioning claimed
    const auto ten = Run({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
    EXPECT_EQ(ten.data[0] & ten.data[1] & ten.data[2] & ten.data[3], 0xFF);
    // Another service action of the same opcode is not a command here.
    EXPECT_EQ(Run({0x9E, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, 32).status, 2);
}

INSTANTIATE_TEST_SUITE_P(FrontEnds, ModeSenseTest, ::testing::Values("scsi", "usb"));

}  // namespace
}  // namespace vt
