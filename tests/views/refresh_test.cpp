// The whole refresh on the headless window over bench drives.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "ctrl/device_buffers.h"
#include "pages/identify.h"
#include "pages/refresh_state.h"
#include "platform/backend.h"
#include "report/erase_count_texts.h"
#include "report/identify_texts.h"
#include "sim/bench.h"
#include "tests/support/fake_backend.h"
#include "tests/support/form_on_bench.h"
#include "vendor/code_loading.h"
#include "vendor/system_info.h"
#include "vendor/wrappers.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace vt {
namespace {

using nlohmann::json;

json Drive(json extra = json::object()) {
    json drive = {{"bus", "ide"},        {"model", "K38"},     {"build", "1"},
                  {"revision", "45"},    {"channels", 2u},     {"banks", 1u},
                  {"product", "VT SSD"}, {"serial", "VT0001"}, {"capacity_sectors", 1000000u}};
    drive.update(extra);
    return drive;
}

using RefreshTest = test::FormOnBench<>;

TEST_F(RefreshTest, FirmwareDriveFillsEveryPageAndReleasesItsBuffers) {
    Install(Drive());
    Select();
    EXPECT_TRUE(ui().Messages().empty());
    EXPECT_EQ(Text("ModelNameEdit"), "Model Name: VT SSD");
    EXPECT_EQ(Text("ChannelEdit"), "Channel number : 2      Total bank : 1");
    EXPECT_EQ(Lines("SSDInfoMemo").size(), 15u);
    EXPECT_EQ(Lines("EraseMemo").at(0), "Ch/CE\t[0]/[0]\t[1]/[0]\t");
    EXPECT_FALSE(Text("AeraseEdit").empty());
    EXPECT_EQ(Lines("BadBlockMemo").size(), 2u + 7u);
    EXPECT_EQ(Lines("DetalBadInfoMemo").at(0), "ErrType 1 (Ecc Over)");

    const auto dump = Lines("DpdFTLMemo");
    ASSERT_EQ(dump.size(), 9u);
    EXPECT_EQ(dump[0].substr(0, 6), "<0500>");
    EXPECT_EQ(dump[8].substr(0, 6), "<0580>");
    EXPECT_EQ(ui().ActivePage(), "TabSheet1");
    EXPECT_FALSE(ui().TabVisible("TabSheet8"));
    EXPECT_FALSE(ui().TabVisible("TabSheet9"));
    EXPECT_EQ(ui().WaitingShownCount(), 1);
    EXPECT_FALSE(ui().WaitingOpen());
    EXPECT_FALSE(BuffersOf(0).Held());
    EXPECT_FALSE(BadBlockMap.has_value());
    EXPECT_EQ(GdpFilePath, program_dir + "/GDP.bin");
}

TEST_F(RefreshTest, ConfigurationDumpShowsTheMemoryCopyFrom0x500) {
    json drive = Drive();
    drive["memory"] = {
        {"3:0x0",
         {{"size", 4096},
          {"patches", {{{"at", 0x500}, {"hex", "A1B2"}}, {{"at", 0x58F}, {"hex", "7E"}}}}}}};
    Install(drive);
    Select();
    const auto dump = Lines("DpdFTLMemo");
    ASSERT_EQ(dump.size(), 9u);
    EXPECT_EQ(dump[0].substr(0, 14), "<0500>A1, B2, ");
    EXPECT_EQ(dump[8].substr(dump[8].size() - 2), "7E");
}

TEST_F(RefreshTest, FailedConfigurationReadLeavesOnlyTheDumpEmpty) {
    // The third memory read is the dump's: the SSD Info page and the bad block view read first.
    Install(Drive(
        {{"faults", {{{"op", "vendor:86"}, {"skip", 2}, {"count", 1}, {"effect", "fail"}}}}}));
    Select();
    EXPECT_TRUE(Lines("DpdFTLMemo").empty());
    EXPECT_FALSE(Lines("EraseMemo").empty());
    EXPECT_TRUE(ui().Messages().empty());
}

TEST_F(RefreshTest, UnreadableSystemInformationFillsOnlyDeviceInfo) {
    Install(Drive({{"faults", {{{"op", "vendor:86"}, {"effect", "fail"}}}}}));
    Select();
    EXPECT_EQ(ui().Messages(), std::vector<std::string>{"Can't find code block."});
    EXPECT_EQ(Text("ModelNameEdit"), "Model Name: VT SSD");
    EXPECT_EQ(Text("FlashmodelEdit"), "");
    EXPECT_TRUE(Lines("EraseMemo").empty());
    EXPECT_EQ(ui().WaitingShownCount(), 0);
    EXPECT_FALSE(BuffersOf(0).Held());
}

TEST_F(RefreshTest, LoaderModeWithoutSpecialModeLeavesThePagesEmpty) {
    Install(Drive({{"mode", "loader"}}));
    Select();
    EXPECT_EQ(ui().Messages(),
              std::vector<std::string>{"FAIL!!!. The SSD doesn't run on system mode now."});
    EXPECT_EQ(Text("ModelNameEdit"), "");
    EXPECT_EQ(Text("FlashmodelEdit"), "");
    EXPECT_FALSE(BuffersOf(0).Held());
}

TEST_F(RefreshTest, LoaderModeInSpecialModeNamesTheMissingCodeImage) {
    Install(Drive({{"mode", "loader"}}));
    SpecialMode = true;
    Select();
    EXPECT_EQ(ui().Messages(),
              std::vector<std::string>{"<WARNING> Can't find file : " + program_dir + "/GDP.bin"});
    EXPECT_EQ(Text("ModelNameEdit"), "");
}

TEST_F(RefreshTest, FirmwareLogViewRunsForK38Build3WithTheLayoutByRevision) {
    Install(Drive({{"build", "3"}, {"revision", "43"}}));
    UseDramLayout = true;
    Select();
    EXPECT_FALSE(UseDramLayout);
    EXPECT_TRUE(ui().TabVisible("TabSheet8"));

    Install(Drive({{"build", "3"}, {"revision", "45"}}));
    Select();
    EXPECT_TRUE(UseDramLayout);
    EXPECT_TRUE(ui().TabVisible("TabSheet8"));

    Install(Drive({{"build", "2"}, {"revision", "43"}}));
    Select();
    EXPECT_TRUE(UseDramLayout);  // left as the last run set it
    EXPECT_FALSE(ui().TabVisible("TabSheet8"));
}

TEST_F(RefreshTest, LaterBadUnitIsBracketedInTheEraseCountTable) {
    Install(Drive(
        {{"bad_blocks",
          {{"later", {{{"channel", 1}, {"ce", 0}, {"unit", 100}, {"type", "prog_fail"}}}}}}}));
    Select();
    EXPECT_NE(Lines("DetalBadInfoMemo").end(),
              std::find(Lines("DetalBadInfoMemo").begin(), Lines("DetalBadInfoMemo").end(),
                        "CH=1  CE=0  BlockU=0x0064  ErrType=3"));
    const auto rows = Lines("EraseMemo");
    ASSERT_GT(rows.size(), 101u);
    const auto cells = EraseCountCells(rows[101]);
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0], "0100");
    EXPECT_NE(cells[1].front(), '[');
    EXPECT_EQ(cells[2].front(), '[');
    EXPECT_EQ(cells[2].back(), ']');
}

json FailOnce(const char* op, int skip) {
    return {{"faults", {{{"op", op}, {"skip", skip}, {"count", 1}, {"effect", "fail"}}}}};
}

TEST_F(RefreshTest, FailedEraseCountTableHasNoValuesAndLeavesTheAverage) {
    Install(Drive());
    Select();
    const auto clean = Lines("EraseMemo");

    // The probe is the first erase count read, channel 0's table the second, channel 1's the
    // third: the buffer still holds channel 0's table when channel 1's read fails.
    Install(Drive(FailOnce("vendor:01", 2)));
    Select();
    const auto faulted = Lines("EraseMemo");
    ASSERT_EQ(faulted.size(), clean.size());
    std::uint64_t sum = 0;
    std::uint64_t maximum = 0;
    for (std::size_t i = 1; i < faulted.size(); ++i) {
        const auto cells = EraseCountCells(faulted[i]);
        ASSERT_EQ(cells.size(), 3u);
        EXPECT_EQ(cells[1], EraseCountCells(clean[i])[1]);
        EXPECT_EQ(cells[2], "X") << i;
        if (cells[1] != "X") {
            const std::uint64_t v =
                std::stoull(cells[1].front() == '[' ? cells[1].substr(1) : cells[1]);
            sum += v;
            maximum = std::max(maximum, v);
        }
    }
    // The table not read leaves the divisor: the average is channel 0's alone.
    EXPECT_EQ(Text("AeraseEdit"),
              "\nAverage erase count = " + std::to_string(sum / (faulted.size() - 1)) + "\n");
    EXPECT_EQ(Text("MeraseEdit"), "Max. erase count = " + std::to_string(maximum) + "\n\n");
}

TEST_F(RefreshTest, FailedBadUnitListListsNothingForItsChannel) {
    const json later = {{"bad_blocks",
                         {{"later",
                           {{{"channel", 0}, {"ce", 0}, {"unit", 100}, {"type", "prog_fail"}},
                            {{"channel", 1}, {"ce", 0}, {"unit", 200}, {"type", "ecc_fail"}}}}}}};
    const auto lines_of_channel_1 = [&] {
        std::vector<std::string> found;
        for (const auto& line : Lines("DetalBadInfoMemo")) {
            if (line.starts_with("CH=1  CE=0  BlockU")) found.push_back(line);
        }
        return found;
    };
    json drive = Drive(later);
    Install(drive);
    Select();
    EXPECT_EQ(lines_of_channel_1(),
              std::vector<std::string>{"CH=1  CE=0  BlockU=0x00c8  ErrType=5"});

    // Channel 1's list read fails while the buffer holds channel 0's list.
    drive.update(FailOnce("vendor:00", 1));
    Install(drive);
    Select();
    EXPECT_TRUE(lines_of_channel_1().empty());
    const auto detail = Lines("DetalBadInfoMemo");
    EXPECT_NE(std::find(detail.begin(), detail.end(), "CH=0  CE=0  BlockU=0x0064  ErrType=3"),
              detail.end());
}

TEST_F(RefreshTest, FailedIdentifyLeavesDeviceInfoEmpty) {
    // The scan and the loader test read IDENTIFY before the Device Info page does.
    Install(Drive());
    Select();
    int identify_reads = 0;
    for (const auto& command : bench->Log(0)) {
        if (command.kind == sim::CommandKind::Ata && command.opcode == 0xEC) ++identify_reads;
        if (command.kind != sim::CommandKind::Ata) break;  // the vendor reads have begun
    }
    ASSERT_GE(identify_reads, 2);
    Install(Drive(FailOnce("ata:EC", identify_reads - 1)));
    Select();
    for (const char* control : {"ModelNameEdit", "SNEdit", "TotalSectorEdit", "DiskHeadEdit",
                                "SMARTfeatureEdit", "WWNEdit"}) {
        EXPECT_EQ(Text(control), "") << control;
    }
    EXPECT_NE(Text("FlashmodelEdit"), "");  // the vendor reads go on
    EXPECT_TRUE(ui().Messages().empty());
}

TEST_F(RefreshTest, RawDumpsNameEachEraseCountTable) {
    Install(Drive({{"channels", 2u}, {"banks", 3u}}));
    RawDumpEnabled = true;
    Select();
    EXPECT_TRUE(std::filesystem::exists(dir.File("EC_01_02.raw")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("SB_0102.raw")));
    RawDumpEnabled = false;
}

TEST_F(RefreshTest, DemoBenchFillsThePagesOfEveryRow) {
    Install(sim::MakeDemoBench());
    for (int row = 0; row < 3; ++row) {
        Select(row);
        SCOPED_TRACE(row);
        EXPECT_TRUE(ui().Messages().empty());
        EXPECT_NE(Text("FlashmodelEdit"), "");
        EXPECT_GT(Lines("EraseMemo").size(), 1u);
        EXPECT_FALSE(Text("MeraseEdit").empty());
        EXPECT_EQ(Lines("DpdFTLMemo").size(), 9u);
        EXPECT_GT(Lines("DetalBadInfoMemo").size(), 6u);
    }
}

TEST_F(RefreshTest, UsbBridgeFillsTheUsbGroupOnly) {
    Install(json{{"bus", "usb"},
                 {"bridge", "older"},
                 {"bridge_tag", "FK1X"},
                 {"model", "K35"},
                 {"capacity_sectors", 1000000u}});
    DeviceTable[0].DevicePath = bench->PathOf(0);
    DeviceTable[0].DirectVendorCdb = 1;
    DeviceTable[0].AtaPassThrough = 0;
    const auto page = UsbIdentityTexts(ReadUsbIdentity(0));
    EXPECT_EQ(page.EditOf("CapEdit"), std::to_string(GetCapacityMB(0)) + " MB");
    EXPECT_EQ(page.EditOf("TotalLBAEdit"), std::to_string(GetCapacityBytes(0) / 512));
    EXPECT_NE(page.EditOf("CapEdit"), "0 MB");
    EXPECT_EQ(page.EditOf("VIDEdit").size(), 4u);
    for (const auto& edit : page.edits) EXPECT_NE(edit.control, "ModelNameEdit");
}

// The headless window of the program itself, as outside tests run it.
TEST(HeadlessWindowProgram, DemoBenchSelectionFillsThePagesInTheJson) {
    const auto program =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" /
        "vtutil";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "vtutil is not built";
    test::ScopedTempDir dir;
    const std::string out = dir.File("window.json");
    const std::string command =
        program.string() + " --demo window --select 0 --json > " + out + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream file(out);
    const json window = json::parse(file);
    const auto& controls = window["controls"];
    EXPECT_EQ(controls["ModelNameEdit"]["text"], "Model Name: Vantrel VT538 SSD 256GB");
    EXPECT_EQ(controls["DpdFTLMemo"]["lines"].size(), 9u);
    EXPECT_EQ(controls["EraseMemo"]["lines"][0].get<std::string>().substr(0, 14),
              "Ch/CE\t[0]/[0]\t");
    EXPECT_EQ(controls["BadBlockMemo"]["lines"].back(),
              "(One BlockU equal to two NAND flash blocks)");
    EXPECT_EQ(window["active_page"], "TabSheet1");
}

}  // namespace
}  // namespace vt
