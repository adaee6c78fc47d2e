#include "report/smart_texts.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace vt {
namespace {

using Sector = std::array<std::uint8_t, kSmartSectorSize>;

// Writes attribute entry `index` of a SMART data sector.
void PutEntry(Sector& sector, std::size_t index, std::uint8_t id, std::uint16_t flags,
              std::uint8_t value, std::uint8_t worst, std::array<std::uint8_t, 6> raw) {
    const std::size_t base = 2 + index * kSmartEntrySize;
    sector[base] = id;
    sector[base + 1] = static_cast<std::uint8_t>(flags);
    sector[base + 2] = static_cast<std::uint8_t>(flags >> 8);
    sector[base + 3] = value;
    sector[base + 4] = worst;
    for (std::size_t i = 0; i < raw.size(); ++i) sector[base + 5 + i] = raw[i];
}

std::vector<std::uint8_t> Code(const char* text) {
    return {text, text + 4};
}

TEST(SmartNames, TableCodeSelectsTheVariantNames) {
    EXPECT_EQ(SmartVariantOf(Code("1100")), SmartNameVariant::Code11);
    EXPECT_EQ(SmartVariantOf(Code("11ZZ")), SmartNameVariant::Code11);
    EXPECT_EQ(SmartVariantOf(Code("3001")), SmartNameVariant::Code3001);
    EXPECT_EQ(SmartVariantOf(Code("3000")), SmartNameVariant::Standard);
    EXPECT_EQ(SmartVariantOf(Code("1200")), SmartNameVariant::Standard);

    std::array<std::uint8_t, 64> fw_info{};
    fw_info[0x30] = '1';
    fw_info[0x31] = '1';
    EXPECT_EQ(SmartVariantOfFwInfo(fw_info), SmartNameVariant::Code11);
    EXPECT_EQ(SmartVariantOfFwInfo(std::span(fw_info).first(0x32)), SmartNameVariant::Standard);
}

TEST(SmartNames, VariantsReplaceOnlyTheirOwnNames) {
    EXPECT_STREQ(SmartAttributeName(0x01, SmartNameVariant::Code11), "Raw Read Error Rate");
    EXPECT_STREQ(SmartAttributeName(0x01, SmartNameVariant::Code3001), "Read Error Rate");
    EXPECT_STREQ(SmartAttributeName(0x0C, SmartNameVariant::Standard), "Drive Power Cycle Count");
    EXPECT_STREQ(SmartAttributeName(0x0C, SmartNameVariant::Code11), "Power Cycle Count");
    EXPECT_STREQ(SmartAttributeName(0x0C, SmartNameVariant::Code3001), "Power cycle count");
    EXPECT_STREQ(SmartAttributeName(0xC0, SmartNameVariant::Code11), "Unsafe Shutdown Count");
    EXPECT_STREQ(SmartAttributeName(0xF1, SmartNameVariant::Code3001), "Total sectors of write");
    EXPECT_STREQ(SmartAttributeName(0xF1, SmartNameVariant::Code11), "Total LBA written");
    EXPECT_EQ(SmartAttributeName(0x00, SmartNameVariant::Standard), nullptr);
    EXPECT_EQ(SmartAttributeName(0x04, SmartNameVariant::Standard), nullptr);
}

TEST(SmartGrid, RowShowsTheEntryWithRawBytesMostSignificantFirst) {
    Sector data{};
    Sector thresholds{};
    PutEntry(data, 0, 0x09, 0x0032, 0x64, 0x63, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    thresholds[2 + 1] = 0x05;

    const auto rows = SmartGridRows(DecodeSmartData(data, thresholds), SmartNameVariant::Standard);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (TextRow{"09", "Power-on Hours Count", "0032", "64", "63", "05",
                                "06 05 04 03 02 01"}));
}

TEST(SmartGrid, EmptyAndUnknownEntriesAreSkippedAndThresholdsMatchByPosition) {
    Sector data{};
    Sector thresholds{};
    PutEntry(data, 0, 0x00, 0, 0, 0, {});
    PutEntry(data, 1, 0x04, 0, 0, 0, {});
    PutEntry(data, 2, 0xC2, 0, 0, 0, {});
    thresholds[2 + 2 * kSmartEntrySize + 1] = 0x21;  // entry 2's threshold, whatever its ID

    const auto rows = SmartGridRows(DecodeSmartData(data, thresholds), SmartNameVariant::Standard);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "C2");
    EXPECT_EQ(rows[0][5], "21");
}

TEST(SmartGrid, WithoutThresholdsEveryThresholdIsZero) {
    Sector data{};
    PutEntry(data, 0, 0x01, 0, 1, 1, {});
    PutEntry(data, 1, 0x0C, 0, 1, 1, {});
    const auto rows = SmartGridRows(DecodeSmartData(data, {}), SmartNameVariant::Standard);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][5], "00");
    EXPECT_EQ(rows[1][5], "00");
}

TEST(SmartGrid, HoldsAtMostTwentyNineAttributes) {
    Sector data{};
    for (std::size_t i = 0; i < kSmartEntryCount; ++i) PutEntry(data, i, 0x09, 0, 0, 0, {});
    PutEntry(data, 29, 0xC2, 0, 0, 0, {});
    const auto rows = SmartGridRows(DecodeSmartData(data, {}), SmartNameVariant::Standard);
    ASSERT_EQ(rows.size(), 29u);
    for (const auto& row : rows) EXPECT_EQ(row[0], "09");
}

TEST(SmartSummary, LinesFollowTheEntriesInOrder) {
    Sector data{};
    data[0] = 0x10;  // revision word: low byte first in the caption
    data[1] = 0x02;
    PutEntry(data, 0, 0xC2, 0, 0, 0, {0x28, 0x00, 0x14, 0x00, 0x3C, 0x00});
    PutEntry(data, 1, 0x00, 0, 0, 0, {0x09, 0x00, 0, 0, 0, 0});
    PutEntry(data, 2, 0xA9, 0, 0, 0, {0x03, 0x00, 0x02, 0x01, 0x01, 0x00});
    PutEntry(data, 3, 0xA7, 0, 0, 0, {0x07, 0xFF, 0, 0, 0, 0});
    PutEntry(data, 4, 0x09, 0, 0, 0, {0xE8, 0x03, 0xFF, 0, 0, 0});
    PutEntry(data, 5, 0x01, 0, 0, 0, {0x01, 0, 0, 0, 0, 0});

    const auto decoded = DecodeSmartData(data, {});
    EXPECT_EQ(
        SmartSummaryLines(decoded),
        (std::vector<std::string>{"Temperature: Current=40  Min=20  Max=60", "Bad Block count=3",
                                  "Total bad number=258", "Later bad number=1",
                                  "SSD Protect Mode=7", "Power on hour=1000"}));
    EXPECT_EQ(SmartGroupCaption(decoded.revision), "\nSMART (v16.2) information report :\n");
}

TEST(SmartReport, HeaderThenOneLinePerFilledRow) {
    const std::vector<TextRow> rows{
        {"09", "Power-on Hours Count", "0032", "64", "63", "00", "00 00 00 00 03 E8"},
        {"", "", "", "", "", "", ""},
        {"C2", "Temperature", "0022", "28", "28", "00", "00 3C 00 14 00 28"},
    };
    const auto lines = SmartReportLines(rows);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], std::string(80, '-'));
    EXPECT_EQ(lines[1],
              "ID  S.M.A.R.T Attribute           Flags   Value  Worst  Threshold  Raw Value");
    EXPECT_EQ(lines[2], std::string(80, '-'));
    EXPECT_EQ(lines[3],
              "09  Power-on Hours Count           0032    64     63      00      "
              "00 00 00 00 03 E8             ");
    EXPECT_EQ(lines[4].substr(0, 15), "C2  Temperature");
}

}  // namespace
}  // namespace vt
