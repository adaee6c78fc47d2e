#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "tools/hex_dump_line.h"
#include "tools/nand_page_reader.h"

namespace vt {
namespace {

TEST(ToolkitIntegerConversion, AcceptsDecimalAndTheHexadecimalPrefixes) {
    EXPECT_EQ(ToolkitStrToInt("12"), 12);
    EXPECT_EQ(ToolkitStrToInt("  -7"), -7);
    EXPECT_EQ(ToolkitStrToInt("+0"), 0);
    EXPECT_EQ(ToolkitStrToInt("$1F"), 0x1F);
    EXPECT_EQ(ToolkitStrToInt("0x10"), 16);
    EXPECT_EQ(ToolkitStrToInt("0XfF"), 255);
    EXPECT_EQ(ToolkitStrToInt("x8"), 8);
    EXPECT_EQ(ToolkitStrToInt("2147483647"), 2147483647);
    EXPECT_EQ(ToolkitStrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ToolkitStrToInt("$FFFFFFFF"), -1);
}

TEST(ToolkitIntegerConversion, RefusesEmptyTrailingAndOutOfRangeTexts) {
    for (const char* text :
         {"", " ", "1 ", "1G", "$", "0x", "-", "2147483648", "$100000000", "1.5", "\t1"}) {
        EXPECT_FALSE(ToolkitStrToInt(text)) << text;
    }
    EXPECT_EQ(InvalidIntegerMessage("abc"), "''abc'' is not a valid integer value");
}

PageReaderBoxes Defaults() {
    PageReaderBoxes boxes;
    boxes.channel = "8";
    boxes.bank = "0";
    boxes.block = "0";
    boxes.page = "1";
    return boxes;
}

std::string ErrorOf(const std::function<void()>& conversion) {
    try {
        conversion();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

TEST(PageReaderBoxes, TheDefaultsFailTheSystemReadOnTheEmptyBlockUnitOnly) {
    const auto boxes = Defaults();
    EXPECT_TRUE(RequiredBoxesFilled(boxes));
    EXPECT_EQ(ErrorOf([&] { SystemPageAddress(boxes); }), "'''' is not a valid integer value");
    const auto address = FlashPageAddress(boxes, 8);
    EXPECT_EQ(address.channel, 8);
    EXPECT_EQ(address.page, 1);
    EXPECT_EQ(FlashPageBufferSize(address, 8, 32), 8u * 32 * 512);
    EXPECT_EQ(FlashPageOffset(address, 8, 32), 0u);
}

TEST(PageReaderBoxes, AreConvertedPageFirstSoTheFirstBadBoxIsReported) {
    auto boxes = Defaults();
    boxes.channel = "ch";
    boxes.bank = "b";
    boxes.block_unit = "u";
    boxes.block = "k";
    boxes.page = "p";
    EXPECT_EQ(ErrorOf([&] { SystemPageAddress(boxes); }), "''p'' is not a valid integer value");
    boxes.page = "1";
    EXPECT_EQ(ErrorOf([&] { SystemPageAddress(boxes); }), "''k'' is not a valid integer value");
    boxes.block = "2";
    EXPECT_EQ(ErrorOf([&] { SystemPageAddress(boxes); }), "''u'' is not a valid integer value");
    // The loader-level read has no block unit box.
    EXPECT_EQ(ErrorOf([&] { FlashPageAddress(boxes, 8); }), "''b'' is not a valid integer value");
    boxes.block_unit = "3";
    EXPECT_EQ(ErrorOf([&] { SystemPageAddress(boxes); }), "''b'' is not a valid integer value");
    boxes.bank = "1";
    EXPECT_EQ(ErrorOf([&] { SystemPageAddress(boxes); }), "''ch'' is not a valid integer value");
}

TEST(PageReaderBoxes, AnEmptyRequiredBoxStopsBeforeAnyConversion) {
    for (auto field : {&PageReaderBoxes::channel, &PageReaderBoxes::bank, &PageReaderBoxes::block,
                       &PageReaderBoxes::page}) {
        auto boxes = Defaults();
        boxes.*field = "";
        EXPECT_FALSE(RequiredBoxesFilled(boxes));
    }
}

TEST(PageReaderBoxes, ValuesAreCutToTheirFieldWidths) {
    auto boxes = Defaults();
    boxes.channel = "258";
    boxes.bank = "$1FF";
    boxes.block_unit = "65537";
    boxes.block = "-1";
    boxes.page = "0x10005";
    boxes.ecc24 = true;
    const auto address = SystemPageAddress(boxes);
    EXPECT_EQ(address.channel, 2);
    EXPECT_EQ(address.bank, 0xFF);
    EXPECT_EQ(address.block_unit, 1);
    EXPECT_EQ(address.block, 0xFFFF);
    EXPECT_EQ(address.page, 5);
    EXPECT_EQ(address.ecc_option, 1);
}

TEST(PageReaderBoxes, TheLoaderReadRefusesAChannelTheDriveDoesNotHave) {
    auto boxes = Defaults();
    boxes.channel = "9";
    EXPECT_EQ(ErrorOf([&] { FlashPageAddress(boxes, 8); }),
              "Channel 9 is out of range: the drive has 8 channels");
    boxes.channel = "-1";
    EXPECT_FALSE(ErrorOf([&] { FlashPageAddress(boxes, 8); }).empty());

    boxes.channel = "3";
    const auto one = FlashPageAddress(boxes, 8);
    EXPECT_EQ(FlashPageBufferSize(one, 8, 16), 4u * 16 * 512);
    EXPECT_EQ(FlashPageOffset(one, 8, 16), 3u * 16 * 512);
}

TEST(PageDump, ThirtyTwoSectorsGive1024LinesEndingAt3FF0) {
    std::vector<std::uint8_t> buffer(131072, 0);
    buffer[0] = 0xAB;
    buffer[0x3FFF] = 0x01;
    const auto lines = PageDumpLines(buffer, 0, 32 * 512);
    ASSERT_EQ(lines.size(), 1024u);
    EXPECT_EQ(lines.front(),
              "<0000>AB, 00, 00, 00, 00, 00, 00, 00, || 00, 00, 00, 00, 00, 00, 00, 00");
    EXPECT_EQ(lines.back(),
              "<3FF0>00, 00, 00, 00, 00, 00, 00, 00, || 00, 00, 00, 00, 00, 00, 00, 01");
}

TEST(PageDump, OffsetsCountFromThePageAndWidenPastFourDigits) {
    std::vector<std::uint8_t> buffer(3 * 0x10000 + 32, 0);
    buffer[0x10000 + 0x10000] = 0x5C;
    const auto lines = PageDumpLines(buffer, 0x10000, 0x10010);
    ASSERT_EQ(lines.size(), 0x1001u);
    EXPECT_EQ(lines.back().substr(0, 11), "<10000>5C, ");
    EXPECT_EQ(HexDumpLine(0x123456, {}).substr(0, 8), "<123456>");
}

TEST(PageDump, APageRunningPastTheBufferStopsAtItsEnd) {
    std::vector<std::uint8_t> buffer(40, 0x11);
    EXPECT_EQ(PageDumpLines(buffer, 0, 512).size(), 3u);
    EXPECT_TRUE(PageDumpLines(buffer, 64, 512).empty());
}

}  // namespace
}  // namespace vt
