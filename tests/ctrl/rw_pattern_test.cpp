#include <gtest/gtest.h>

#include <vector>

#include "ctrl/rw_self_test.h"

namespace vt {
namespace {

TEST(SelfTestPattern, OnlyTheLowByteOfTheLbaEntersAndWordsCountUp) {
    std::vector<std::uint8_t> buffer(2 * 512, 0xAA);
    ASSERT_TRUE(FillPattern(buffer, 1, 258));
    EXPECT_EQ(buffer[0], 0x00);  // word 0200h, little-endian
    EXPECT_EQ(buffer[1], 0x02);
    EXPECT_EQ(buffer[2], 0x01);
    EXPECT_EQ(buffer[510], 0xFF);
    EXPECT_EQ(buffer[511], 0x02);
    EXPECT_EQ(buffer[512], 0xAA);  // one sector only
    EXPECT_TRUE(MatchesPattern(buffer, 1, 2));
    EXPECT_FALSE(MatchesPattern(buffer, 1, 3));

    // 128 sectors at LBA 255 wrap past FFFFh.
    std::vector<std::uint8_t> run(128 * 512);
    ASSERT_TRUE(FillPattern(run, 128, 255));
    EXPECT_EQ(run[0], 0x00);
    EXPECT_EQ(run[1], 0xFF);
    EXPECT_EQ(run[512], 0x00);
    EXPECT_EQ(run[513], 0x00);
    EXPECT_TRUE(MatchesPattern(run, 128, 255));
    run[run.size() - 1] ^= 1;
    EXPECT_FALSE(MatchesPattern(run, 128, 255));
    // Longer than the buffer, or than one command moves: refused.
    EXPECT_FALSE(FillPattern(buffer, 3, 0));
    std::vector<std::uint8_t> large(129 * 512);
    EXPECT_FALSE(FillPattern(large, 129, 0));
}

TEST(SelfTestRegions, AboutSixteenRegionsSpreadOverTheDrive) {
    EXPECT_TRUE(SelfTestRegions(0).empty());
    std::vector<std::uint32_t> all(15);
    for (std::uint32_t i = 0; i < 15; ++i) all[i] = i;
    EXPECT_EQ(SelfTestRegions(15), all);
    EXPECT_EQ(SelfTestRegions(20), (std::vector<std::uint32_t>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18}));
    EXPECT_EQ(SelfTestRegions(2047).size(), 16u);
}

}  // namespace
}  // namespace vt
