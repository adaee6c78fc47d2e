#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <csignal>
#include <fstream>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "app/desktop.h"
#include "tests/support/fake_backend.h"

namespace vt::app {
namespace {

DeviceRow Row(std::uint8_t device, const std::string& model) {
    DeviceRow row;
    row.device = device;
    row.cells = {std::to_string(device + 1), model, "SN", "FW", "238", "IDE / SATA"};
    return row;
}

// Drives whose numbers differ from their rows; each scan after the first finds one drive less.
class ShrinkingBench {
  public:
    DeviceListRecord operator()() {
        DeviceListRecord record;
        const int count = scans_++ == 0 ? 2 : 1;
        for (int i = 0; i < count; ++i) {
            record.rows.push_back(
                Row(static_cast<std::uint8_t>(4 + 2 * i), "drive " + std::to_string(i)));
            record.combo_lines.push_back("line " + std::to_string(i));
        }
        return record;
    }

  private:
    int scans_ = 0;
};

class WindowEventsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SpecialMode = DebugFileEnabled = RawDumpEnabled = false;
        CurrentDevice = 0;
    }
    // Builds the window on screen with boxes and dialogs answered by the test.
    Desktop& Open() {
        desktop =
            std::make_unique<Desktop>(FormEnvironment{dir.path(), "vtutility", ShrinkingBench()});
        DialogHooks hooks;
        hooks.message = [this](const std::string& text) {
            messages.push_back(text);
            rows_at_message.push_back(desktop->ui.Rows("ListView1").size());
        };
        hooks.error = [this](const std::string& text) { errors.push_back(text); };
        hooks.save_file = [this](const FileDialogRequest& request) -> std::optional<std::string> {
            requests.push_back(request);
            return save_answer;
        };
        desktop->ui.SetHooks(hooks);
        desktop->window.show();
        desktop->form.FormShow();
        return *desktop;
    }
    QTableWidget* List() {
        return qobject_cast<QTableWidget*>(desktop->window.Control("ListView1"));
    }
    void ClickRow(int row) {
        auto* list = List();
        const QRect cell = list->visualRect(list->model()->index(row, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
    void ClickButton(const char* name) {
        QTest::mouseClick(desktop->window.Control(name), Qt::LeftButton);
    }

    test::ScopedFakeBackend backend;
    test::ScopedTempDir dir;
    std::unique_ptr<Desktop> desktop;
    std::vector<std::string> messages;
    std::vector<std::size_t> rows_at_message;
    std::vector<std::string> errors;
    std::vector<FileDialogRequest> requests;
    std::optional<std::string> save_answer;
};

TEST_F(WindowEventsTest, ScanSaysItIsFinishedBeforeTheListIsRebuilt) {
    Open();
    ASSERT_EQ(List()->rowCount(), 2);
    ClickButton("ScanBn");
    EXPECT_EQ(messages, std::vector<std::string>{"Device scan is finished"});
    EXPECT_EQ(rows_at_message, std::vector<std::size_t>{2});
    EXPECT_EQ(List()->rowCount(), 1);
    EXPECT_TRUE(List()->selectionModel()->selectedRows().isEmpty());
}

TEST_F(WindowEventsTest, ClickingRowTwoThenRowOneLeavesTheFirstRowsDrive) {
    Open();
    ClickRow(1);
    EXPECT_EQ(CurrentDevice, 6);
    EXPECT_EQ(desktop->ui.SelectedRow("ListView1"), 1);
    ClickRow(0);
    EXPECT_EQ(CurrentDevice, 4);
    EXPECT_EQ(desktop->ui.SelectedRow("ListView1"), 0);
    EXPECT_TRUE(desktop->splash.isHidden());
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowEventsTest, CtrlPressOnTheShapeEntersSpecialModeWithAnyButton) {
    Open();
    auto* shape = desktop->window.Control("SpecialTipShape");
    QTest::mouseClick(shape, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(SpecialMode || RawDumpEnabled || DebugFileEnabled);
    EXPECT_FALSE(desktop->ui.TabVisible("TabSheet8"));
    EXPECT_TRUE(messages.empty());

    QTest::mouseClick(shape, Qt::RightButton, Qt::ControlModifier, QPoint(5, 5));
    EXPECT_TRUE(SpecialMode && RawDumpEnabled && DebugFileEnabled);
    EXPECT_TRUE(desktop->window.Pages()->isTabVisible(7));
    EXPECT_EQ(messages, std::vector<std::string>{"Enter Special mode"});
}

TEST_F(WindowEventsTest, FailedSaveShowsAnErrorAndKeepsTheOldFile) {
    Open();
    const std::string report = dir.File("EraseCount.txt");
    std::ofstream(report) << "old report";
    save_answer = report;
    desktop->ui.SetLines("EraseMemo", std::vector<std::string>(200, "erase count row"));
    desktop->ui.SetActivePage("TabSheet2");
    const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &small);
    ClickButton("DetailSaveBn");
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previous_handler);

    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].file_name, "EraseCount");
    EXPECT_EQ(requests[0].initial_dir, dir.path());
    ASSERT_EQ(errors.size(), 1u);
    const auto bytes = test::ReadAll(report);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old report");

    // The window goes on: the next save works.
    desktop->ui.SetLines("EraseMemo", {"new"});
    ClickButton("DetailSaveBn");
    const auto saved = test::ReadAll(report);
    EXPECT_EQ(std::string(saved.begin(), saved.end()), "new\r\n");
}

TEST_F(WindowEventsTest, WithoutSettingsResetSmartInfoStaysHidden) {
    Open();
    desktop->ui.SetActivePage("TabSheet4");
    ClickButton("GetSmartInfoBn");
    EXPECT_TRUE(desktop->window.Control("SaveSmartInfoBn")->isEnabled());
    EXPECT_TRUE(desktop->window.Control("ResetSmartInfoBn")->isHidden());
}

TEST_F(WindowEventsTest, EnResetSmartShowsResetSmartInfoAfterARead) {
    std::ofstream(dir.File("VTUtility.ini")) << "[Setting]\r\nEnResetSmart=1\r\n";
    Open();
    desktop->ui.SetActivePage("TabSheet4");
    ClickButton("GetSmartInfoBn");
    EXPECT_FALSE(desktop->window.Control("ResetSmartInfoBn")->isHidden());
    EXPECT_TRUE(desktop->window.Control("ResetSmartInfoBn")->isEnabled());
}

}  // namespace
}  // namespace vt::app
