#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/views/tools_form_fixture.h"
#include "tools/log_decoder.h"
#include "vendor/catalogue.h"

namespace vt::test {
namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

using LogFileDecoder = ToolsFormTest;

TEST_F(LogFileDecoder, DecodesBesideTheInputAndConfirms) {
    ASSERT_TRUE(Install(SataDrive()));
    const std::string input = dir.File("x.log");
    std::ofstream(input, std::ios::binary) << std::string("\x0D\xC5\x41", 3);
    options.open_file = input;
    auto& form = Start();
    form.Click("DecodeLogFileBn");
    EXPECT_EQ(ui().Messages(), (std::vector<std::string>{"Decode the encryptfile to the file (" +
                                                         input + ".decode) successfully"}));
    const auto decoded = Contents(input + ".decode");
    ASSERT_EQ(decoded.size(), 3u);
    EXPECT_EQ(static_cast<std::uint8_t>(decoded[1]), 0xFF);
    ASSERT_EQ(ui().open_requests.size(), 1u);
    EXPECT_EQ(ui().open_requests[0].initial_dir, program_dir);
    EXPECT_EQ(ui().open_requests[0].default_ext, "*.*");
    EXPECT_EQ(ui().open_requests[0].filter, "log file(*.*)|*.*");
}

TEST_F(LogFileDecoder, AnUnreadableFileIsReportedByNameNotAsDecoded) {
    ASSERT_TRUE(Install(SataDrive()));
    options.open_file = dir.File("gone.log");
    auto& form = Start();
    form.Click("DecodeLogFileBn");
    ASSERT_EQ(ui().Messages().size(), 1u);
    const auto& message = ui().Messages()[0];
    EXPECT_NE(message.find(dir.File("gone.log")), std::string::npos);
    EXPECT_EQ(message.find("successfully"), std::string::npos);
    std::ifstream output(dir.File("gone.log.decode"));
    EXPECT_FALSE(output.good());
}

TEST_F(LogFileDecoder, ACancelledDialogDoesNothing) {
    ASSERT_TRUE(Install(SataDrive()));
    auto& form = Start();
    form.Click("DecodeLogFileBn");
    EXPECT_TRUE(ui().Messages().empty());
}

using HiddenPages = ToolsFormTest;

TEST_F(HiddenPages, DiagnoseStatusColoursFollowFailedThenPass) {
    ASSERT_TRUE(Install(SataDrive()));
    auto& form = Start();
    const TextRow row{"Flash", "Read Passed", "Failed, then Pass"};
    const auto item_column = form.ListViewRMACustomDrawSubItem(row, 0);
    EXPECT_FALSE(item_column);
    const auto passed = form.ListViewRMACustomDrawSubItem(row, 1);
    ASSERT_TRUE(passed);
    EXPECT_EQ(passed->colour, CellColour::Blue);
    EXPECT_TRUE(passed->bold_only);
    const auto both = form.ListViewRMACustomDrawSubItem(row, 2);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->colour, CellColour::Red);
    EXPECT_FALSE(form.ListViewRMACustomDrawSubItem({"Flash", "Pass"}, 2));
    const auto plain = form.ListViewRMACustomDrawSubItem({"x", "Running"}, 1);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->colour, CellColour::Black);
    EXPECT_FALSE(plain->bold_only);
}

TEST_F(HiddenPages, AreCreatedHiddenOrDisabledAndTheirIdleButtonsDoNothing) {
    ASSERT_TRUE(Install(SataDrive()));
    auto& form = StartAndSelect();
    for (const char* page : {"TabSheet6", "TabSheet7", "TabSheet9"}) {
        EXPECT_FALSE(ui().TabVisible(page)) << page;
    }
    EXPECT_FALSE(ui().Visible("GroupBox8"));
    EXPECT_FALSE(ui().Enabled("DiagSSDBn"));
    EXPECT_FALSE(ui().Visible("DecodeLogFileBn"));
    EXPECT_FALSE(ui().Visible("DiagSSDSaveBn"));
    EXPECT_FALSE(ui().Visible("DiagMemo"));
    EXPECT_TRUE(ui().Rows("ListViewRMA").empty());
    bench->ClearLog();
    form.Click("DiagSSDBn");
    form.Click("DiagSSDSaveBn");
    EXPECT_TRUE(ui().Messages().empty());
    EXPECT_TRUE(bench->Log(0).empty());
}

TEST_F(HiddenPages, JumpToLoaderSendsTheDriveToItsLoaderSilently) {
    ASSERT_TRUE(Install(SataDrive()));
    auto& form = StartAndSelect();
    bench->ClearLog();
    form.Click("JumpToLoader");
    const auto switches = Vendor(subcmd::SwitchMode);
    ASSERT_EQ(switches.size(), 1u);
    EXPECT_EQ(switches[0].block[3], 0);
    EXPECT_EQ(bench->Drive(0).State().mode, sim::ControllerMode::Loader);
    EXPECT_TRUE(ui().Messages().empty());
}

TEST_F(HiddenPages, LoadGdpLoadsTheImageBesideTheProgramSilently) {
    ASSERT_TRUE(Install(SataDrive()));
    std::ofstream(ProgramFile("GDP.bin"), std::ios::binary) << std::string(1024, '\x5A');
    auto& form = StartAndSelect();
    bench->ClearLog();
    form.Click("LoadGDPBn");
    EXPECT_FALSE(Vendor(subcmd::WriteMemory).empty());
    EXPECT_EQ(Vendor(subcmd::JumpToPRAM).size(), 1u);
    EXPECT_TRUE(ui().Messages().empty());
}

TEST_F(HiddenPages, SaveInfoWritesTheConfigurationDump) {
    ASSERT_TRUE(Install(SataDrive()));
    options.save_dir = dir.path();
    auto& form = StartAndSelect();
    ASSERT_EQ(ui().Lines("DpdFTLMemo").size(), 9u);
    form.Click("DpdFTLSaveBn");
    const auto saved = Contents(dir.File("DPDFTL.txt"));
    EXPECT_EQ(saved.substr(0, 6), "<0500>");
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 9);
}

}  // namespace
}  // namespace vt::test
