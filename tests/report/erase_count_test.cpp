#include <gtest/gtest.h>

#include "report/erase_count_texts.h"

namespace vt {
namespace {

TEST(EraseCountView, HeaderRunsCeOuterChannelInner) {
    EXPECT_EQ(EraseCountHeader(2, 1), "Ch/CE\t[0]/[0]\t[1]/[0]\t");
    EXPECT_EQ(EraseCountHeader(2, 2), "Ch/CE\t[0]/[0]\t[1]/[0]\t[0]/[1]\t[1]/[1]\t");
    EXPECT_EQ(EraseCountHeader(0, 3), "Ch/CE\t");
}

TEST(EraseCountView, CellsOfALineKeepEmptyCellsButNoneAfterTheLastTab) {
    EXPECT_EQ(EraseCountCells(EraseCountHeader(2, 1)),
              (std::vector<std::string>{"Ch/CE", "[0]/[0]", "[1]/[0]"}));
    EXPECT_EQ(EraseCountCells("0001\t5\t\tX"), (std::vector<std::string>{"0001", "5", "", "X"}));
    EXPECT_TRUE(EraseCountCells("").empty());
}

TEST(EraseCountView, PerTableRowsBracketMarkedBlocksAndCountXInTheDivisor) {
    PerTableCounts counts;
    counts.channels = 2;
    counts.ces = 1;
    counts.dies = 1;
    counts.blocks = 2;
    counts.entries = {5, 0xFFFF, 7, 9};  // channel 0's table, then channel 1's
    BadBlockMarks marks;
    marks.Mark(1, 0, 0);
    const auto page = PerTableEraseCountPage(counts, &marks);
    ASSERT_EQ(EraseCountLines(page).size(), 3u);
    EXPECT_EQ(EraseCountLines(page)[1], "0000\t 5\t[ 7]\t");
    EXPECT_EQ(EraseCountLines(page)[2], "0001\tX\t 9\t");
    const auto texts = EraseCountTexts(page);
    EXPECT_EQ(texts.EditOf("AeraseEdit"), "\nAverage erase count = 5\n");
    EXPECT_EQ(texts.EditOf("MeraseEdit"), "Max. erase count = 9\n\n");
}

TEST(EraseCountView, PerTableWithTwoDiesSplitsTheColumnsByDie) {
    PerTableCounts counts;
    counts.channels = 1;
    counts.ces = 2;  // one bank, two dies
    counts.dies = 2;
    counts.blocks = 1;
    counts.entries = {11, 22};
    const auto page = PerTableEraseCountPage(counts, nullptr);
    ASSERT_EQ(EraseCountLines(page).size(), 3u);
    EXPECT_EQ(EraseCountLines(page)[0], "Ch/CE\t[0]/[0]\t");
    EXPECT_EQ(EraseCountLines(page)[1], "0000\t11\t");
    EXPECT_EQ(EraseCountLines(page)[2], "0001\t22\t");
}

TEST(EraseCountView, EmptyTablesAverageToZero) {
    PerTableCounts counts;
    counts.channels = 2;
    counts.ces = 1;
    counts.dies = 1;
    auto page = PerTableEraseCountPage(counts, nullptr);
    EXPECT_TRUE(page.has_summary);
    EXPECT_EQ(page.average, 0u);
    counts.dies = 0;  // undecodable geometry: no CE, no die, no division
    page = PerTableEraseCountPage(counts, nullptr);
    EXPECT_EQ(EraseCountLines(page).size(), 1u);
    EXPECT_EQ(page.average, 0u);

    const std::vector<std::uint32_t> all_x = {0xFFFFFFFF, 0xFFFFFFFF};
    page = K12EraseCountPage(1, 1, all_x);
    EXPECT_EQ(page.average, 0u);
    EXPECT_EQ(page.maximum, 0u);
    EXPECT_EQ(EraseCountLines(page)[1], "0000\tX\t");
}

TEST(EraseCountView, K12ListRepeatsEachCellUnderEveryColumn) {
    const std::vector<std::uint32_t> entries = {3, 0xFFFFFFFF, 5};
    const auto page = K12EraseCountPage(2, 1, entries);
    ASSERT_EQ(EraseCountLines(page).size(), 4u);
    EXPECT_EQ(EraseCountLines(page)[1], "0000\t3\t3\t");
    EXPECT_EQ(EraseCountLines(page)[2], "0001\tX\tX\t");
    EXPECT_EQ(page.average, 4u);
    EXPECT_EQ(page.maximum, 5u);
    // Counts of 2^31 and more are erase counts, not negative numbers.
    EXPECT_EQ(EraseCountLines(K12EraseCountPage(1, 1, std::vector<std::uint32_t>{0x80000000u}))[1],
              "0000\t2147483648\t");
}

TEST(EraseCountView, K14StopsAtAFailedTableWithoutSummary) {
    const std::vector<std::vector<std::uint16_t>> tables = {{1, 2}, {0xFFFF}};
    auto page = K14EraseCountPage(1, 2, tables, true);
    ASSERT_EQ(EraseCountLines(page).size(), 4u);
    EXPECT_EQ(EraseCountLines(page)[3], "0000\tX\tX\t");
    EXPECT_EQ(page.average, 1u);  // (1 + 2) / 2 valid entries
    page = K14EraseCountPage(1, 2, {{1, 2}}, false);
    EXPECT_EQ(EraseCountLines(page).size(), 3u);
    EXPECT_TRUE(EraseCountTexts(page).edits.empty());
}

TEST(EraseCountView, BadBlockMapIgnoresPlacesItDoesNotHold) {
    BadBlockMarks marks;
    marks.Mark(8, 0, 0);
    marks.Mark(0, 8, 0);
    marks.Mark(0, 0, 4096);
    // Only marks outside the map so far: nothing is bad, inside or outside.
    EXPECT_FALSE(marks.IsBad(0, 0, 0));
    EXPECT_FALSE(marks.IsBad(8, 0, 0));
    marks.Mark(7, 7, 4095);
    EXPECT_FALSE(marks.IsBad(8, 0, 0));
    EXPECT_FALSE(marks.IsBad(0, 0, 4096));
    EXPECT_TRUE(marks.IsBad(7, 7, 4095));
    EXPECT_FALSE(marks.IsBad(0, 0, 0));
}

}  // namespace
}  // namespace vt
