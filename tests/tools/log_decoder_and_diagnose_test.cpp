#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "tests/support/fake_backend.h"
#include "tools/diagnose_list.h"
#include "tools/log_decoder.h"

namespace vt {
namespace {

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

TEST(LogDecoding, EachByteIsTheComplementOfItsSumWithTheAddend) {
    EXPECT_EQ(DecodeLogByte(0x00, 0x3B), 0xC4);
    EXPECT_EQ(DecodeLogByte(0xC5, 0x3B), 0xFF);  // 0xC5 + 0x3B wraps to 0
    EXPECT_EQ(DecodeLogByte(0xFF, 0x00), 0x00);
    // Every output byte is reached exactly once: the transform loses nothing.
    std::vector<bool> seen(256, false);
    for (unsigned b = 0; b < 256; ++b)
        seen[DecodeLogByte(static_cast<std::uint8_t>(b), 0x3B)] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
}

TEST(LogDecoderFile, WritesADecodedCopyOfTheSameLength) {
    test::ScopedTempDir dir;
    const std::vector<std::uint8_t> input{0x0D, 0xC5, 0x00, 0x41, 0xFF};
    WriteBytes(dir.File("x.log"), input);
    std::string error;
    ASSERT_TRUE(DecodeLogFile(dir.File("x.log"), dir.File("x.log.decode"), error)) << error;
    const auto output = test::ReadAll(dir.File("x.log.decode"));
    ASSERT_EQ(output.size(), input.size());
    for (std::size_t k = 0; k < input.size(); ++k)
        EXPECT_EQ(output[k], DecodeLogByte(input[k], 0x3B));

    // Decoding the decoded file once more gives a second suffix, not an overwrite.
    ASSERT_TRUE(DecodeLogFile(dir.File("x.log.decode"), dir.File("x.log.decode.decode"), error));
    EXPECT_EQ(test::ReadAll(dir.File("x.log.decode.decode")).size(), input.size());
}

TEST(LogDecoderFile, AnEmptyInputGivesAnEmptyOutput) {
    test::ScopedTempDir dir;
    WriteBytes(dir.File("empty.log"), {});
    std::string error;
    ASSERT_TRUE(DecodeLogFile(dir.File("empty.log"), dir.File("empty.log.decode"), error));
    std::ifstream out(dir.File("empty.log.decode"), std::ios::binary);
    ASSERT_TRUE(out.good());
    EXPECT_EQ(out.peek(), std::ifstream::traits_type::eof());
}

TEST(LogDecoderFile, AnUnreadableInputFailsNamingTheFileAndWritesNothing) {
    test::ScopedTempDir dir;
    std::string error;
    EXPECT_FALSE(DecodeLogFile(dir.File("missing.log"), dir.File("missing.log.decode"), error));
    EXPECT_NE(error.find(dir.File("missing.log")), std::string::npos);
    EXPECT_NE(error.find("No such file"), std::string::npos);
    struct stat info {};
    EXPECT_NE(::stat(dir.File("missing.log.decode").c_str(), &info), 0);

    // A directory opens but cannot be read as a file.
    error.clear();
    EXPECT_FALSE(DecodeLogFile(dir.path(), dir.path() + ".decode", error));
    EXPECT_NE(error.find(dir.path()), std::string::npos);
}

TEST(LogDecoderFile, AnOutputThatCannotBeWrittenFailsNamingIt) {
    test::ScopedTempDir dir;
    WriteBytes(dir.File("x.log"), {1, 2, 3});
    const auto output = dir.File("no-such-dir/x.log.decode");
    std::string error;
    EXPECT_FALSE(DecodeLogFile(dir.File("x.log"), output, error));
    EXPECT_EQ(error.rfind("Cannot write " + output + ": ", 0), 0u) << error;
}

TEST(DiagnoseColours, FailedIsRedPassIsBlueOtherTextsKeepTheirStyle) {
    const auto passed = DiagnoseCellFont("Passed");
    EXPECT_EQ(passed.colour, CellColour::Blue);
    EXPECT_TRUE(passed.bold_only);
    const auto failed = DiagnoseCellFont("Test Failed");
    EXPECT_EQ(failed.colour, CellColour::Red);
    EXPECT_TRUE(failed.bold_only);
    EXPECT_EQ(DiagnoseCellFont("Pass 1 of 2 Failed").colour, CellColour::Red);
    const auto other = DiagnoseCellFont("pass failed");  // case-sensitive
    EXPECT_EQ(other.colour, CellColour::Black);
    EXPECT_FALSE(other.bold_only);
}

TEST(DiagnoseColours, OnlySubItemsTheRowHasAreColoured) {
    const std::vector<std::string> row{"Failed item", "Read Passed"};
    EXPECT_FALSE(DiagnoseSubItemFont(row, 0));  // the item's own column
    EXPECT_EQ(DiagnoseSubItemFont(row, 1)->colour, CellColour::Blue);
    EXPECT_FALSE(DiagnoseSubItemFont(row, 2));
}

}  // namespace
}  // namespace vt
