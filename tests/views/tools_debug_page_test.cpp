#include <fstream>

#include "tests/views/tools_form_fixture.h"
#include "vendor/catalogue.h"

namespace vt::test {
namespace {

using DebugConsole = ToolsFormTest;

std::uint8_t Register(sim::Bench& bench, std::uint32_t address) {
    const auto& registers = bench.Drive(0).State().registers;
    const auto found = registers.find(address);
    return found == registers.end() ? 0 : found->second;
}

void Type(TMainForm& form, const std::string& command) {
    form.ui().SetText("DebugEdit", command);
    form.EnterKey("DebugEdit");
}

TEST_F(DebugConsole, WritesEchoTheLineAsTypedAndChangeTheRegister) {
    ASSERT_TRUE(Install(SataDrive()));
    auto& form = StartAndSelect();
    bench->ClearLog();
    Type(form, "o 1b2 23");
    Type(form, "out 10 ff");
    Type(form, "o 20 1ff");
    EXPECT_EQ(Register(*bench, 0x1B2), 0x23);
    EXPECT_EQ(Register(*bench, 0x10), 0xFF);
    EXPECT_EQ(Register(*bench, 0x20), 0xFF);
    EXPECT_EQ(ui().Lines("DebugMemo"),
              (std::vector<std::string>{">>o 1b2 23", ">>out 10 ff", ">>o 20 1ff"}));
    EXPECT_EQ(ui().Text("DebugEdit"), "");
}

TEST_F(DebugConsole, IncompleteOrUnknownCommandsLeaveOnlyTheEcho) {
    ASSERT_TRUE(Install(SataDrive()));
    auto& form = StartAndSelect();
    bench->ClearLog();
    for (const char* command : {"o 1b2", "o", "", "lbax 5", "i", "zap 1 2"}) Type(form, command);
    EXPECT_TRUE(Vendor(subcmd::WriteRegister).empty());
    EXPECT_TRUE(Vendor(subcmd::ReadRegister).empty());
    EXPECT_EQ(ui().Lines("DebugMemo"),
              (std::vector<std::string>{">>o 1b2", ">>o", ">>", ">>lbax 5", ">>i", ">>zap 1 2"}));
}

TEST_F(DebugConsole, ReadsKeepSixteenAddressBitsAndPrintTheByte) {
    auto drive = SataDrive();
    drive["registers"] = {{"0x2345", 0x5Au}, {"0x1CF5", 7u}};
    ASSERT_TRUE(Install(drive));
    auto& form = StartAndSelect();
    Type(form, "i 12345");
    Type(form, "I 1CF5");
    EXPECT_EQ(ui().Lines("DebugMemo"),
              (std::vector<std::string>{">>i 12345", "5Ah\n", ">>I 1CF5", "7h\n"}));
}

TEST_F(DebugConsole, AFailedReadAndAnLbaRequestSayWhatIsMissing) {
    auto drive = SataDrive();
    drive["faults"] = {{{"op", "vendor:84"}, {"effect", "fail"}}};
    ASSERT_TRUE(Install(drive));
    auto& form = StartAndSelect();
    Type(form, "i 1cf5");
    Type(form, "lba 5");
    EXPECT_EQ(ui().Lines("DebugMemo"),
              (std::vector<std::string>{
                  ">>i 1cf5", "Read register 1CF5h failed\n", ">>lba 5",
                  "(channel,bank,block) unknown: the drive has no LBA translation\n"}));
}

class PageReader : public ToolsFormTest {
  protected:
    // After a refresh every box is empty; the user types the window's defaults back.
    void TypeDefaults() {
        ui().SetText("DbgChLEdit", "8");
        ui().SetText("DbgBankLEdit", "0");
        ui().SetText("DbgBlockUnitLEdit", "");
        ui().SetText("DbgBlockLEdit", "0");
        ui().SetText("DbgPageLEdit", "1");
    }
};

TEST_F(PageReader, WithTheDefaultsTheSystemReadRefusesTheEmptyBlockUnit) {
    ASSERT_TRUE(Install(SataDrive()));
    auto& form = StartAndSelect();
    TypeDefaults();
    ui().SetLines("DebugMemo2", {"old"});
    bench->ClearLog();
    form.Click("DbgSysReadPage");
    EXPECT_EQ(ui().Messages(), (std::vector<std::string>{"'''' is not a valid integer value"}));
    EXPECT_TRUE(ui().Lines("DebugMemo2").empty());
    EXPECT_TRUE(bench->VendorLog(0).empty());
}

TEST_F(PageReader, WithTheDefaultsTheLoaderReadDumpsPageOneOfEveryChannel) {
    ASSERT_TRUE(Install(SataDrive()));
    auto& form = StartAndSelect();
    ASSERT_EQ(SystemInfo.ChannelCount, 8);
    ASSERT_EQ(SystemInfo.SectorsPerPage, 32);
    TypeDefaults();
    bench->ClearLog();
    form.Click("DbgLDReadPage");
    const auto reads = Vendor(subcmd::ReadFlashPage);
    ASSERT_EQ(reads.size(), 8u);
    for (std::uint8_t c = 0; c < 8; ++c) {
        EXPECT_EQ(reads[c].block[3], c);
        EXPECT_EQ(reads[c].block[8], 1);  // page 1
    }
    const auto lines = ui().Lines("DebugMemo2");
    ASSERT_EQ(lines.size(), 1024u);
    EXPECT_EQ(lines.front().substr(0, 6), "<0000>");
    EXPECT_EQ(lines.back().substr(0, 6), "<3FF0>");
    EXPECT_TRUE(ui().Messages().empty());
}

TEST_F(PageReader, TheLoaderReadRefusesAChannelAboveTheChannelCount) {
    ASSERT_TRUE(Install(SataDrive()));
    auto& form = StartAndSelect();
    TypeDefaults();
    ui().SetText("DbgChLEdit", "9");
    bench->ClearLog();
    form.Click("DbgLDReadPage");
    EXPECT_EQ(ui().Messages(),
              (std::vector<std::string>{"Channel 9 is out of range: the drive has 8 channels"}));
    EXPECT_TRUE(bench->VendorLog(0).empty());
    EXPECT_TRUE(ui().Lines("DebugMemo2").empty());
}

TEST_F(PageReader, OneChannelIsReadAloneAndDumpedFromItsOwnPage) {
    auto drive = SataDrive();
    drive["flash_pages"] = {{"3:0:5:2", "A1A2A3"}};
    ASSERT_TRUE(Install(drive));
    auto& form = StartAndSelect();
    TypeDefaults();
    ui().SetText("DbgChLEdit", "3");
    ui().SetText("DbgBlockLEdit", "$5");
    ui().SetText("DbgPageLEdit", "2");
    bench->ClearLog();
    form.Click("DbgLDReadPage");
    ASSERT_EQ(Vendor(subcmd::ReadFlashPage).size(), 1u);
    const auto lines = ui().Lines("DebugMemo2");
    ASSERT_EQ(lines.size(), 1024u);
    EXPECT_EQ(lines.front(),
              "<0000>A1, A2, A3, 00, 00, 00, 00, 00, || 00, 00, 00, 00, 00, 00, 00, 00");
}

TEST_F(PageReader, TheSystemReadTakesTheSecondHalfOffsetForAnOddBlockOnly) {
    ASSERT_TRUE(Install(SataDrive()));
    auto& form = StartAndSelect();
    const auto offset_for_block = [&](const char* block) {
        TypeDefaults();
        ui().SetText("DbgBlockUnitLEdit", "2");
        ui().SetText("DbgBlockLEdit", block);
        bench->ClearLog();
        form.Click("DbgSysReadPage");
        const auto reads = Vendor(subcmd::ReadSystemPage);
        EXPECT_EQ(reads.size(), 1u);
        if (reads.empty()) return 0xFFFFFFFFu;
        const auto& b = reads.front().block;
        return std::uint32_t{b[12]} << 24 | std::uint32_t{b[13]} << 16 | std::uint32_t{b[14]} << 8 |
               b[15];
    };
    EXPECT_EQ(offset_for_block("6"), 0u);
    EXPECT_EQ(offset_for_block("7"), 32u * 4096);
    EXPECT_EQ(offset_for_block("1"), 32u * 4096);
    EXPECT_EQ(ui().Lines("DebugMemo2").size(), 1024u);
}

TEST_F(PageReader, SavingAnEmptyDumpWritesAnEmptyFile) {
    ASSERT_TRUE(Install(SataDrive()));
    options.save_dir = dir.path();
    auto& form = Start();
    form.Click("SaveReadPageBn");
    std::ifstream saved(dir.File("ReadPage.txt"), std::ios::binary);
    ASSERT_TRUE(saved.good());
    EXPECT_EQ(saved.peek(), std::ifstream::traits_type::eof());
}

}  // namespace
}  // namespace vt::test
