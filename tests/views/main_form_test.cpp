#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "tests/support/fake_backend.h"
#include "tests/support/test_system.h"
#include "views/controls.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace vt {
namespace {

// Remembers the order in which the form changed the window.
class RecordingWindow : public HeadlessPresentation {
  public:
    using HeadlessPresentation::HeadlessPresentation;
    void ShowMessage(const std::string& text) override {
        events.push_back("message:" + text);
        HeadlessPresentation::ShowMessage(text);
    }
    void SetRows(std::string_view name, const std::vector<TextRow>& rows) override {
        events.push_back("rows:" + std::string(name) + ":" + std::to_string(rows.size()));
        HeadlessPresentation::SetRows(name, rows);
    }
    std::vector<std::string> events;
};

DeviceRow Row(std::uint8_t device, const std::string& model) {
    DeviceRow row;
    row.device = device;
    row.cells = {std::to_string(device + 1), model, "SN", "FW", "120", "SATA"};
    return row;
}

// Two drives whose device numbers are not their row numbers.
DeviceListRecord TwoDrives() {
    DeviceListRecord record;
    record.rows = {Row(3, "first"), Row(5, "second")};
    record.combo_lines = {"<<IDE>>  first", "<<IDE>>  second"};
    return record;
}

class MainFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SpecialMode = DebugFileEnabled = RawDumpEnabled = false;
        CurrentDevice = 0;
    }
    FormEnvironment Environment(std::function<DeviceListRecord()> scan = TwoDrives) {
        return {dir.path(), dir.path() + "/vtutility", std::move(scan)};
    }
    void FillEverything(Presentation& ui) {
        for (const auto& spec : MainFormControls()) {
            switch (spec.kind) {
                case ControlKind::Edit:
                case ControlKind::LabeledEdit:
                    ui.SetText(spec.name, "old");
                    break;
                case ControlKind::Memo:
                    ui.SetLines(spec.name, {"old", "lines"});
                    break;
                case ControlKind::Grid:
                    for (int r = 0; r < ui.RowCount(spec.name); ++r)
                        ui.SetCell(spec.name, r, 1, "x");
                    break;
                default:
                    break;
            }
        }
    }

    test::ScopedFakeBackend backend;  // no test reaches a real disk
    test::ScopedTempDir dir;
};

TEST_F(MainFormTest, ConstructionSetsTitleHidesDiagnoseTabAndReadsSettings) {
    std::ofstream(dir.File("VTUtility.ini")) << "[Setting]\nEnResetSmart=1\nEnRemapRelation=256\n";
    HeadlessPresentation ui;
    ui.SetTabVisible("TabSheet9", true);
    TMainForm form(ui, Environment());
    EXPECT_EQ(ui.Title(), "Vantrel K34/K35/K39/K36/K38/K38H/K12/K13 Utility A.1.48");
    EXPECT_FALSE(ui.TabVisible("TabSheet9"));
    EXPECT_EQ(form.EnResetSmart(), 1);
    EXPECT_EQ(EnRemapRelation, 0);
}

TEST_F(MainFormTest, StartUpListsTheDrivesSelectsNoRowAndEmptiesThePages) {
    HeadlessPresentation ui;
    TMainForm form(ui, Environment());
    FillEverything(ui);
    ui.SetActivePage("TabSheet3");
    form.FormShow();
    ASSERT_EQ(ui.Rows("ListView1").size(), 2u);
    EXPECT_EQ(ui.Rows("ListView1")[1][1], "second");
    EXPECT_FALSE(ui.SelectedRow("ListView1"));
    EXPECT_EQ(ui.ItemIndex("DeviceList"), 0);
    EXPECT_EQ(ui.Text("FlashmodelEdit"), "");
    EXPECT_TRUE(ui.Lines("DebugMemo2").empty());
    EXPECT_EQ(ui.ActivePage(), "TabSheet1");
    EXPECT_EQ(ui.WaitingShownCount(), 0);  // nothing is read
    EXPECT_TRUE(backend->opened.empty());
}

TEST_F(MainFormTest, StartUpWithoutDrivesLeavesThePagesAsTheyWere) {
    HeadlessPresentation ui;
    TMainForm form(ui, Environment([] { return DeviceListRecord{}; }));
    FillEverything(ui);
    form.FormShow();
    EXPECT_TRUE(ui.Rows("ListView1").empty());
    EXPECT_TRUE(ui.Lines("DeviceList").empty());
    EXPECT_EQ(ui.Text("FlashmodelEdit"), "old");
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(MainFormTest, ScanNoticesReachTheUser) {
    HeadlessPresentation ui;
    TMainForm form(ui, Environment([] {
                       DeviceListRecord record;
                       record.notices = {"No permission to send commands to ide:/dev/sda"};
                       return record;
                   }));
    form.FormShow();
    EXPECT_EQ(ui.Messages(),
              std::vector<std::string>{"No permission to send commands to ide:/dev/sda"});
}

TEST_F(MainFormTest, ScanSaysItIsFinishedBeforeTheListIsRebuilt) {
    RecordingWindow ui;
    TMainForm form(ui, Environment());
    form.FormShow();
    form.ClickDeviceRow(1);
    ui.events.clear();
    form.Click("ScanBn");
    EXPECT_EQ(ui.events,
              (std::vector<std::string>{"message:Device scan is finished", "rows:ListView1:2"}));
    EXPECT_FALSE(ui.SelectedRow("ListView1"));
    EXPECT_EQ(CurrentDevice, 5);  // a rescan leaves the selected drive's number alone
}

TEST_F(MainFormTest, ClickingAnotherRowDeselectsTheOldOneAndReadsTheNewRowsDrive) {
    HeadlessPresentation ui;
    TMainForm form(ui, Environment());
    form.FormShow();
    // The injected scan lists rows only; the drive needs a path for its commands to go out.
    DeviceTable[5].DevicePath = "ide:/dev/sdb";
    DeviceTable[5].AtaPassThrough = 1;
    form.ClickDeviceRow(1);
    EXPECT_EQ(CurrentDevice, 5);
    EXPECT_FALSE(backend->opened.empty());  // the selected drive is read
    form.ClickDeviceRow(0);
    EXPECT_EQ(CurrentDevice, 3);
    EXPECT_EQ(ui.SelectedRow("ListView1"), 0);
    EXPECT_FALSE(ui.WaitingOpen());
}

TEST_F(MainFormTest, DeselectionEmptiesThePagesAndReadsNothing) {
    HeadlessPresentation ui;
    TMainForm form(ui, Environment());
    form.FormShow();
    ui.SetText("FwEdit", "second drive");
    form.ListView1SelectItem(1, false);
    EXPECT_EQ(CurrentDevice, 5);
    EXPECT_EQ(ui.Text("FwEdit"), "");
    EXPECT_TRUE(backend->opened.empty());
}

TEST_F(MainFormTest, EmptyingTouchesEditsMemosAndFiftyGridRowsOnly) {
    HeadlessPresentation ui;
    TMainForm form(ui, Environment());
    form.FormShow();
    FillEverything(ui);
    ui.SetChecked("Ecc24Ck", true);
    ui.SetCaption("GroupBox4", "SMART (v1.0)");
    ui.SetItemIndex("DeviceList", 1);
    CurrentDevice = 7;
    form.UpdateInfo(false);
    for (const auto& spec : MainFormControls()) {
        if (spec.kind == ControlKind::Edit || spec.kind == ControlKind::LabeledEdit) {
            EXPECT_EQ(ui.Text(spec.name), "") << spec.name;
        } else if (spec.kind == ControlKind::Memo) {
            EXPECT_TRUE(ui.Lines(spec.name).empty()) << spec.name;
        }
    }
    EXPECT_EQ(ui.Cell("StringGrid1", 29, 1), "");
    EXPECT_EQ(ui.Rows("ListView1").size(), 2u);
    EXPECT_EQ(ui.Lines("DeviceList").size(), 2u);
    EXPECT_EQ(ui.ItemIndex("DeviceList"), 1);
    EXPECT_TRUE(ui.Checked("Ecc24Ck"));
    EXPECT_EQ(ui.Caption("GroupBox4"), "SMART (v1.0)");
    EXPECT_EQ(CurrentDevice, 7);
    EXPECT_FALSE(SpecialMode || RawDumpEnabled || DebugFileEnabled);
    EXPECT_TRUE(backend->opened.empty());
}

TEST_F(MainFormTest, SpecialModeNeedsCtrlWithAnyButton) {
    HeadlessPresentation ui;
    TMainForm form(ui, Environment());
    form.SpecialTipShapeMouseDown(MouseButton::Left, false);
    EXPECT_FALSE(SpecialMode || RawDumpEnabled || DebugFileEnabled);
    EXPECT_FALSE(ui.TabVisible("TabSheet8"));
    EXPECT_TRUE(ui.Messages().empty());

    form.SpecialTipShapeMouseDown(MouseButton::Right, true);
    EXPECT_TRUE(SpecialMode && RawDumpEnabled && DebugFileEnabled);
    EXPECT_TRUE(ui.TabVisible("TabSheet8"));
    EXPECT_FALSE(ui.TabVisible("TabSheet6") || ui.TabVisible("TabSheet7") ||
                 ui.TabVisible("TabSheet9"));
    form.SpecialTipShapeMouseDown(MouseButton::Middle, true);
    EXPECT_EQ(ui.Messages(),
              (std::vector<std::string>{"Enter Special mode", "Enter Special mode"}));
}

TEST_F(MainFormTest, EverySaveButtonWritesItsMemoUnderItsDefaultName) {
    const std::string out = dir.File("out");
    std::filesystem::create_directory(out);
    HeadlessPresentation ui({out, ""});
    TMainForm form(ui, Environment());
    const std::tuple<const char*, const char*, const char*> buttons[] = {
        {"DetailSaveBn", "EraseMemo", "EraseCount"},
        {"SavebadblockDetailBn", "DetalBadInfoMemo", "BadBlockDetail"},
        {"SavebadblockinfoBn", "BadBlockMemo", "BadBlock"},
        {"DpdFTLSaveBn", "DpdFTLMemo", "DPDFTL"},
        {"UartLogSaveBtn", "UartLogMemo", "UartLog"},
        {"DbgErrLogSaveBtn", "DbgErrLogMemo", "DbgErrLog"},
        {"SaveReadPageBn", "DebugMemo2", "ReadPage"},
    };
    for (const auto& [button, memo, name] : buttons) {
        ui.SetLines(memo, {std::string(memo), std::string("\xB0\t8-bit", 7), ""});
        form.Click(button);
        const auto bytes = test::ReadAll(out + "/" + name + ".txt");
        const std::string expected = std::string(memo) + "\r\n\xB0\t8-bit\r\n\r\n";
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected) << button;
    }
    ASSERT_EQ(ui.SaveRequests().size(), std::size(buttons));
    const auto& first = ui.SaveRequests()[0];
    EXPECT_EQ(first.initial_dir, dir.path());
    EXPECT_EQ(first.default_ext, "txt");
    EXPECT_EQ(first.filter, "*.txt");
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(MainFormTest, CancelledSaveWritesNothing) {
    HeadlessPresentation ui;
    TMainForm form(ui, Environment());
    ui.SetLines("EraseMemo", {"x"});
    form.Click("DetailSaveBn");
    EXPECT_EQ(ui.SaveRequests().size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(MainFormTest, FailedSaveShowsAnErrorAndKeepsTheOldReport) {
    HeadlessPresentation ui({dir.path(), ""});
    TMainForm form(ui, Environment());
    const std::string report = dir.File("EraseCount.txt");
    std::ofstream(report) << "old report";
    ui.SetLines("EraseMemo", std::vector<std::string>(100, "a line longer than the limit"));
    // A file size limit makes the write fail part way, even for root.
    {
        const test::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.ok());
        form.Click("DetailSaveBn");
    }

    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_NE(ui.Messages()[0].find(report), std::string::npos) << ui.Messages()[0];
    const auto bytes = test::ReadAll(report);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old report");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    HeadlessPresentation nowhere({dir.File("missing"), ""});
    TMainForm second(nowhere, Environment());
    second.Click("DetailSaveBn");
    EXPECT_EQ(nowhere.Messages().size(), 1u);
}

TEST(RunGuarded, EscapingErrorsAreShownAndTheWindowGoesOn) {
    HeadlessPresentation ui;
    EXPECT_FALSE(RunGuarded(ui, [] { throw std::runtime_error("disk full"); }));
    EXPECT_FALSE(RunGuarded(ui, [] { throw 42; }));
    EXPECT_TRUE(RunGuarded(ui, [] {}));
    EXPECT_EQ(ui.Messages(), (std::vector<std::string>{"disk full", ""}));
}

}  // namespace
}  // namespace vt
