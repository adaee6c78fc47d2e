#include <gtest/gtest.h>

#include <vector>

#include "tools/command_line_words.h"
#include "tools/drive_info_dump.h"

namespace vt {
namespace {

TEST(CommandLineWords, AreFoundAnywhereInTheLineButOnlyInLowerCase) {
    const auto in_path = FindCommandLineWords("/opt/rwtest-kit/vtutility");
    EXPECT_TRUE(in_path.rwtest);
    EXPECT_FALSE(in_path.dumpssdinfo);

    const auto longer = FindCommandLineWords("vtutility xdumpssdrawy");
    EXPECT_TRUE(longer.dumpssdraw);
    EXPECT_FALSE(longer.rwtest);

    const auto capitals = FindCommandLineWords("vtutility RWTEST DumpSSDInfo");
    EXPECT_FALSE(capitals.rwtest);
    EXPECT_FALSE(capitals.dumpssdinfo);

    const auto all = FindCommandLineWords("vtutility rwtest dumpssdinfo report dumpssdraw");
    EXPECT_TRUE(all.rwtest && all.dumpssdinfo && all.dumpssdraw);
}

TEST(CommandLineArguments, SplitAtBlanksWithQuotedStretchesKeptWhole) {
    EXPECT_EQ(SplitCommandLine("  \"/opt/my tools/vtutility\"  dumpssdinfo\t\"drive a\" "),
              (std::vector<std::string>{"/opt/my tools/vtutility", "dumpssdinfo", "drive a"}));
    EXPECT_EQ(SplitCommandLine("a \"\" b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitCommandLine("pre\"fix x\"post"), (std::vector<std::string>{"prefix xpost"}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(CommandLineArguments, TheDumpNameIsArgumentTwoOrEmpty) {
    EXPECT_EQ(CommandLineArgument("vtutility dumpssdinfo report", 2), "report");
    // The second word itself is argument 2 when the self-test word comes first.
    EXPECT_EQ(CommandLineArgument("vtutility rwtest dumpssdinfo report", 2), "dumpssdinfo");
    EXPECT_EQ(CommandLineArgument("vtutility dumpssdinfo", 2), "");
}

TEST(CommandLineArguments, RebuildingFromArgvQuotesBlanksAndSplitsBackTheSame) {
    const std::vector<std::string> argv{"/opt/my tools/vtutility", "dumpssdinfo", "", "a\tb",
                                        "plain"};
    const auto line = JoinCommandLine(argv);
    EXPECT_EQ(line, "\"/opt/my tools/vtutility\" dumpssdinfo \"\" \"a\tb\" plain");
    EXPECT_EQ(SplitCommandLine(line), argv);
}

DriveInfoTexts SataDriveTexts() {
    DriveInfoTexts t;
    t.Flashmodel = "Flash: TX58\r\n";
    t.Channel = "Channel: 8";
    t.Capacity = "Capacity: 64GB\r\n";
    t.Driver = "Driver: 4\r\n";
    t.ResPer = "Res: 7%\r\n";
    t.EccRead = "EccR: 1\r\n";
    t.EccCopy = "EccC: 2\r\n";
    t.WearLeveling = "WL: 3\r\n";
    t.BankMap = "BankMap: FF";
    t.Support1 = "S1\r\n";
    t.Support2 = "S2\r\n";
    t.Fw = "FW: K38";
    return t;
}

TEST(DriveInfoDump, ASataDriveGivesBareLabelsThenTheSsdTextsWithoutAFinalLineEnd) {
    const auto text = DriveInfoDumpText(SataDriveTexts());
    EXPECT_EQ(text,
              "Vendor Name:\r\nProduct Name:\r\nManufacture String:\r\nProduct String:\r\n"
              "VID:\r\nPID:\r\nSerial Num:\r\n"
              "Flash: TX58\r\nChannel: 8\r\nCapacity: 64GB\r\nDriver: 4\r\nRes: 7%\r\n"
              "EccR: 1\r\nEccC: 2\r\nWL: 3\r\nBankMap: FF\r\nS1\r\nS2\r\nFW: K38");
}

TEST(DriveInfoDump, UsbFieldsFollowTheirLabelsWithoutABlank) {
    auto t = SataDriveTexts();
    t.VendorName = "Vantrel";
    t.Vid = "1E4E";
    t.SerialNumber = "0123";
    const auto text = DriveInfoDumpText(t);
    EXPECT_EQ(text.rfind("Vendor Name:Vantrel\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\nVID:1E4E\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nSerial Num:0123\r\nFlash"), std::string::npos);
}

TEST(DriveInfoDump, PathIsTheProgramDirectoryTheNameAndTxt) {
    EXPECT_EQ(DriveInfoDumpPath("/opt/vt", "report"), "/opt/vt/report.txt");
    EXPECT_EQ(DriveInfoDumpPath("/opt/vt/", ""), "/opt/vt/.txt");
    EXPECT_EQ(DriveInfoDumpPath("", "x"), "./x.txt");
}

}  // namespace
}  // namespace vt
