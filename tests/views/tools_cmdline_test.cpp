#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/test_system.h"
#include "tests/views/tools_form_fixture.h"

namespace vt::test {
namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The self-test refuses a drive of exactly 8192 sectors.
nlohmann::json FailingSelfTest() {
    auto drive = SataDrive();
    drive["capacity_sectors"] = 8192u;
    return drive;
}

using CommandLineMode = ToolsFormTest;

TEST_F(CommandLineMode, DumpWithoutANameWritesDotTxtAndClosesTheWindow) {
    ASSERT_TRUE(Install(SataDrive()));
    StartAndSelect(program_dir + "/vtutility dumpssdinfo");
    EXPECT_TRUE(Exists(ProgramFile(".txt")));
    EXPECT_TRUE(ui().CloseRequested());
    EXPECT_TRUE(ui().Messages().empty());
}

TEST_F(CommandLineMode, NothingHappensBeforeADriveIsRead) {
    ASSERT_TRUE(Install(SataDrive()));
    Start(program_dir + "/vtutility rwtest dumpssdinfo x");
    EXPECT_FALSE(ui().CloseRequested());
    EXPECT_FALSE(Exists(ProgramFile("x.txt")));
    EXPECT_TRUE(ui().Messages().empty());
}

TEST_F(CommandLineMode, SelfTestRunsFirstAndTheSecondWordNamesTheDump) {
    ASSERT_TRUE(Install(SataDrive()));
    bool dump_existed_at_box = true;
    Start(program_dir + "/vtutility rwtest dumpssdinfo report");
    ui().on_message = [&](const std::string&) {
        dump_existed_at_box = Exists(ProgramFile("dumpssdinfo.txt"));
    };
    form->ClickDeviceRow(0);
    EXPECT_EQ(ui().Messages(), (std::vector<std::string>{"R/W Test successfully"}));
    EXPECT_FALSE(dump_existed_at_box);
    EXPECT_TRUE(Exists(ProgramFile("dumpssdinfo.txt")));
    EXPECT_FALSE(Exists(ProgramFile("report.txt")));
    EXPECT_TRUE(ui().CloseRequested());
    // The self-test left sector 0 holding FFFFh words.
    EXPECT_EQ(bench->Drive(0).ReadUserSectors(0, 1), std::vector<std::uint8_t>(512, 0xFF));
}

TEST_F(CommandLineMode, AProgramDirectoryNamedWithTheWordRunsTheSelfTest) {
    program_dir = dir.File("rwtest-kit");
    std::filesystem::create_directories(program_dir);
    ASSERT_TRUE(Install(SataDrive()));
    StartAndSelect();
    EXPECT_EQ(ui().Messages(), (std::vector<std::string>{"R/W Test successfully"}));
    EXPECT_TRUE(ui().CloseRequested());
}

TEST_F(CommandLineMode, AFailedSelfTestSaysSoAndStillCloses) {
    ASSERT_TRUE(Install(FailingSelfTest()));
    StartAndSelect(program_dir + "/vtutility rwtest");
    EXPECT_EQ(ui().Messages(), (std::vector<std::string>{"R/W Test Fail"}));
    EXPECT_TRUE(ui().CloseRequested());
}

TEST_F(CommandLineMode, SataDumpHasBareUsbLabelsThenTheSsdTextsAsShown) {
    ASSERT_TRUE(Install(SataDrive()));
    StartAndSelect(program_dir + "/vtutility dumpssdinfo info");
    const auto text = Contents(ProgramFile("info.txt"));
    const std::string labels =
        "Vendor Name:\r\nProduct Name:\r\nManufacture String:\r\nProduct String:\r\nVID:\r\n"
        "PID:\r\nSerial Num:\r\n";
    ASSERT_EQ(text.substr(0, labels.size()), labels);

    auto& w = ui();
    ASSERT_FALSE(w.Text("FwEdit").empty());  // the refresh filled the SSD page
    std::string ssd = w.Text("FlashmodelEdit") + w.Text("ChannelEdit") + "\r\n";
    for (const char* name : {"CapacityEdit", "DriverEdit", "ResPerEdit", "EccReadEdit",
                             "EccCopyEdit", "WearLevelingEdit"}) {
        ssd += w.Text(name);
    }
    ssd += w.Text("BankMapEdit") + "\r\n" + w.Text("SupportEdit1") + w.Text("SupportEdit2") +
           w.Text("FwEdit");
    EXPECT_EQ(text.substr(labels.size()), ssd);
}

TEST_F(CommandLineMode, RawDumpWordAloneKeepsTheWindowOpenAndCoversTheSameRefresh) {
    ASSERT_TRUE(Install(SataDrive()));
    StartAndSelect(program_dir + "/vtutility dumpssdraw");
    EXPECT_FALSE(ui().CloseRequested());
    EXPECT_TRUE(RawDumpEnabled);
    // The erase count reads come after the command-line step.
    EXPECT_TRUE(Exists(dir.File("EC_00_00.raw")));
    EXPECT_FALSE(Exists(ProgramFile("EC_00_00.raw")));
}

TEST_F(CommandLineMode, ARefreshThatCannotReadTheDriveIgnoresTheCommandLine) {
    auto drive = SataDrive();
    drive["faults"] = {{{"op", "vendor:86"}, {"effect", "fail"}}};
    ASSERT_TRUE(Install(drive));
    StartAndSelect(program_dir + "/vtutility rwtest dumpssdraw");
    EXPECT_EQ(ui().Messages(), (std::vector<std::string>{"Can't find code block."}));
    EXPECT_FALSE(ui().CloseRequested());
    EXPECT_FALSE(RawDumpEnabled);
}

TEST_F(CommandLineMode, ResultFilesReplaceTheMessageAndNeverContradictEachOther) {
    ASSERT_TRUE(Install(SataDrive()));
    std::ofstream(ProgramFile("RW_Fail.txt")) << "stale";
    StartAndSelect(program_dir + "/vtutility rwtest", true);
    EXPECT_TRUE(ui().Messages().empty());
    EXPECT_TRUE(Exists(ProgramFile("RW_OK.txt")));
    EXPECT_EQ(Contents(ProgramFile("RW_OK.txt")), "");
    EXPECT_FALSE(Exists(ProgramFile("RW_Fail.txt")));
    EXPECT_TRUE(ui().CloseRequested());
}

TEST_F(CommandLineMode, AFailedTestWritesOnlyTheFailFile) {
    ASSERT_TRUE(Install(FailingSelfTest()));
    std::ofstream(ProgramFile("RW_OK.txt")) << "";
    StartAndSelect(program_dir + "/vtutility rwtest", true);
    EXPECT_TRUE(ui().Messages().empty());
    EXPECT_TRUE(Exists(ProgramFile("RW_Fail.txt")));
    EXPECT_FALSE(Exists(ProgramFile("RW_OK.txt")));
}

// Each goes through the tools' one checked replacement: a link planted at the name is refused and
// so is a FIFO (the window waited for a reader for ever), and the window says so.
TEST_F(CommandLineMode, TheWindowsFilesNeverGoThroughALinkOrIntoAFifo) {
    ASSERT_TRUE(Install(SataDrive()));
    std::ofstream(dir.File("victim")) << "keep";
    std::filesystem::create_symlink(dir.File("victim"), ProgramFile("RW_OK.txt"));
    std::filesystem::create_symlink(dir.File("victim"), ProgramFile("EraseCount.txt"));
    ASSERT_TRUE(test::MakeFifo(ProgramFile("report.txt")));
    options.save_dir = program_dir;
    StartAndSelect(program_dir + "/vtutility rwtest dumpssdinfo report", true);
    form->Click("DetailSaveBn");
    EXPECT_EQ(Contents(dir.File("victim")), "keep");
    const auto& messages = ui().Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find("the result file could not be written"), std::string::npos);
    EXPECT_NE(messages[1].find("EraseCount.txt\". It is a symbolic link"), std::string::npos)
        << messages[1];
    EXPECT_FALSE(Exists(ProgramFile("RW_Fail.txt")));
    EXPECT_TRUE(std::filesystem::is_fifo(ProgramFile("report.txt")));
}

TEST_F(CommandLineMode, ADiskInUseIsRefusedInAnErrorBoxAndNothingIsWritten) {
    auto drive = SataDrive();
    drive["use"] = {{"partitions", {"/dev/sda1"}}, {"swaps", {"/dev/sda1"}}};
    ASSERT_TRUE(Install(drive));
    std::ofstream(ProgramFile("RW_OK.txt")) << "";
    StartAndSelect(program_dir + "/vtutility rwtest", true);
    ASSERT_EQ(ui().Messages().size(), 1u);
    EXPECT_NE(ui().Messages()[0].find("/dev/sda is in use: /dev/sda1 is an active swap area"),
              std::string::npos)
        << ui().Messages()[0];
    // No result either way, and no earlier one left to be taken for this run's.
    EXPECT_FALSE(Exists(ProgramFile("RW_OK.txt")));
    EXPECT_FALSE(Exists(ProgramFile("RW_Fail.txt")));
    EXPECT_TRUE(ui().CloseRequested());
    for (const auto& command : bench->Log(0)) EXPECT_NE(command.opcode, 0xCA);
    EXPECT_EQ(bench->Drive(0).ReadUserSectors(0, 1), std::vector<std::uint8_t>(512, 0));
}

TEST_F(CommandLineMode, TheHiddenButtonRunsTheSameSelfTest) {
    ASSERT_TRUE(Install(SataDrive()));
    StartAndSelect();
    form->Click("RwTestBn");
    EXPECT_EQ(ui().Messages(), (std::vector<std::string>{"R/W Test successfully"}));
    EXPECT_FALSE(ui().CloseRequested());  // only the command line closes the window
}

}  // namespace
}  // namespace vt::test
