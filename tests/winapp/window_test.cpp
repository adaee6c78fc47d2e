// The Windows window on the system's own controls, under Wine on an X server.

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "platform/backend.h"
#include "sim/bench.h"
#include "tests/support/fake_backend.h"
#include "tests/support/scoped_bench.h"
#include "winapp/desktop.h"

namespace vt::win {
namespace {

using K = ControlKind;

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::wstring CommonClass(ControlKind kind) {
    switch (kind) {
        case K::Edit:
        case K::LabeledEdit:
        case K::Memo:
            return L"Edit";
        case K::Grid:
        case K::List:
            return L"SysListView32";
        case K::Combo:
            return L"ComboBox";
        case K::Button:
        case K::Check:
            return L"Button";
        case K::Label:
            return L"Static";
        case K::PageControl:
            return L"SysTabControl32";
        default:
            return {};  // the window's own panes, shape and picture
    }
}

std::vector<std::wstring> TabCaptions(HWND tabs) {
    std::vector<std::wstring> captions;
    for (int i = 0; i < TabCtrl_GetItemCount(tabs); ++i) {
        wchar_t text[64] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        TabCtrl_GetItem(tabs, i, &item);
        captions.emplace_back(text);
    }
    return captions;
}

DeviceListRecord TwoDrives() {
    DeviceListRecord record;
    for (const std::uint8_t device : {4, 6}) {
        DeviceRow row;
        row.device = device;
        row.cells = {std::to_string(device + 1), "drive", "SN", "FW", "238", "IDE / SATA"};
        record.rows.push_back(row);
        record.combo_lines.push_back("drive " + std::to_string(device));
    }
    return record;
}

class WinWindowTest : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        SpecialMode = DebugFileEnabled = RawDumpEnabled = false;
        CurrentDevice = 0;
    }
    Desktop& Open(std::function<DeviceListRecord()> scan) {
        desktop = std::make_unique<Desktop>(
            GetModuleHandleW(nullptr), FormEnvironment{dir.path(), "vtutility", scan}, GetParam());
        desktop->ui.SetHooks(
            {[this](const std::string& text) { messages.push_back(text); }, {}, {}});
        ShowWindow(desktop->window.hwnd(), SW_SHOWNA);
        desktop->form.FormShow();
        return *desktop;
    }
    HWND Hwnd(std::string_view name) { return desktop->window.Get(name).hwnd; }

    test::ScopedTempDir dir;
    std::unique_ptr<Desktop> desktop;
    std::vector<std::string> messages;
};

class WinWindowAtDpi : public WinWindowTest {};

// Every control is the common control of its kind, where the table puts it at the window's DPI,
// and only the shown pages have a tab.
TEST_P(WinWindowAtDpi, EveryControlIsItsCommonControlWhereTheTablePutsIt) {
    test::ScopedFakeBackend backend;
    auto& window = Open([] { return DeviceListRecord{}; }).window;
    // (Wine keeps a window inside its screen.)
    if (window.Scale(kFormClientHeight) < GetSystemMetrics(SM_CYSCREEN)) {
        RECT client;
        GetClientRect(window.hwnd(), &client);
        EXPECT_EQ(client.right, window.Scale(kFormClientWidth));
        EXPECT_EQ(client.bottom, window.Scale(kFormClientHeight));
    }
    for (const auto& spec : MainFormControls()) {
        const auto& control = window.Get(spec.name);
        if (const auto expected = CommonClass(spec.kind); !expected.empty()) {
            EXPECT_EQ(ClassOf(control.hwnd), expected) << spec.name;
        }
        if (spec.kind == K::Page) continue;
        const Geometry g = window.ReadGeometry(spec.name);
        EXPECT_NEAR(g.left, spec.geometry.left, 1) << spec.name;
        EXPECT_NEAR(g.top, spec.geometry.top, 1) << spec.name;
        EXPECT_NEAR(g.width, spec.geometry.width, 1) << spec.name;
        // A drop-down list is as high as its font makes it.
        if (spec.kind != K::Combo) {
            EXPECT_NEAR(g.height, spec.geometry.height, 1) << spec.name;
        }
    }
    EXPECT_EQ(TabCaptions(Hwnd("PageControl1")),
              (std::vector<std::wstring>{L"SSD Info", L"Erase Count", L"Bad Block Info",
                                         L"S.M.A.R.T info", L"Device Info"}));
    // The selected page covers the tab control's display area; the others are hidden.
    EXPECT_TRUE(IsWindowVisible(Hwnd("TabSheet1")));
    EXPECT_FALSE(IsWindowVisible(Hwnd("TabSheet2")));
}

// What the program set comes back byte for byte, though one-line controls show line breaks as
// blanks; once the user types, the control's text is what the form reads.
TEST_P(WinWindowTest, TextsKeepTheirBytesUntilTheUserTypes) {
    test::ScopedFakeBackend backend;
    auto& ui = Open([] { return DeviceListRecord{}; }).ui;
    ui.SetText("DebugEdit", "o 1b2\r\n\xE9");
    EXPECT_EQ(WindowText(Hwnd("DebugEdit")), L"o 1b2 \u00e9");
    EXPECT_EQ(ui.Text("DebugEdit"), "o 1b2\r\n\xE9");
    SetWindowTextW(Hwnd("DebugEdit"), L"i 1cf5");
    EXPECT_EQ(ui.Text("DebugEdit"), "i 1cf5");

    // A memo of one empty line is not an empty memo; a lone line feed stays inside its line.
    ui.SetLines("DebugMemo", {""});
    EXPECT_EQ(ui.Lines("DebugMemo"), std::vector<std::string>{""});
    ui.ClearLines("DebugMemo");
    EXPECT_TRUE(ui.Lines("DebugMemo").empty());
    ui.AppendLine("DebugMemo", "a\r\nb\nc");
    ui.AppendLine("DebugMemo", "");
    EXPECT_EQ(ui.Lines("DebugMemo"), (std::vector<std::string>{"a", "b\nc", ""}));
    SetWindowTextW(Hwnd("DebugMemo"), L"typed\r\nby hand");
    ui.AppendLine("DebugMemo", "more");
    EXPECT_EQ(ui.Lines("DebugMemo"), (std::vector<std::string>{"typed", "by hand", "more"}));

    ui.SetCaption("TabSheet2", " Erase\r\nCount ");
    EXPECT_EQ(TabCaptions(Hwnd("PageControl1")).at(1), L"Erase Count");
    EXPECT_EQ(ui.Caption("TabSheet2"), " Erase\r\nCount ");
    ui.SetCaption("GroupBox1", "Setting");
    EXPECT_EQ(WindowText(desktop->window.Get("GroupBox1").frame), L"Setting");
}

// The program's own writes tell the form nothing; the user's selection, the Ctrl press on the
// shape and Enter in an edit box reach it.
TEST_P(WinWindowTest, OnlyTheUsersActionsReachTheForm) {
    test::ScopedFakeBackend backend;
    auto& ui = Open(TwoDrives).ui;
    ASSERT_EQ(ui.Rows("ListView1").size(), 2u);
    ui.SelectRow("ListView1", 1);
    EXPECT_EQ(CurrentDevice, 0);
    EXPECT_EQ(ui.SelectedRow("ListView1"), 1);

    // The user clicks the first row: the second lets go, the first's drive becomes current.
    ListView_SetItemState(Hwnd("ListView1"), 0, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(CurrentDevice, 4);
    EXPECT_EQ(ui.SelectedRow("ListView1"), 0);

    messages.clear();
    SendMessageW(Hwnd("SpecialTipShape"), WM_LBUTTONDOWN, 0, 0);
    EXPECT_FALSE(SpecialMode);
    EXPECT_FALSE(ui.TabVisible("TabSheet8"));
    SendMessageW(Hwnd("SpecialTipShape"), WM_RBUTTONDOWN, MK_CONTROL, 0);
    EXPECT_TRUE(SpecialMode);
    EXPECT_EQ(TabCaptions(Hwnd("PageControl1")).back(), L"Uart Log of F/W");
    EXPECT_EQ(messages, std::vector<std::string>{"Enter Special mode"});

    ui.SetText("DebugEdit", "lba 0");
    SendMessageW(Hwnd("DebugEdit"), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_FALSE(ui.Lines("DebugMemo").empty());
}

INSTANTIATE_TEST_SUITE_P(Dpi, WinWindowAtDpi, ::testing::Values(96, 144),
                         [](const auto& info) { return std::to_string(info.param); });
INSTANTIATE_TEST_SUITE_P(Dpi, WinWindowTest, ::testing::Values(96),
                         [](const auto& info) { return std::to_string(info.param); });

// The memos and edits that show one drive's page whole: the tables of counts scroll.
bool ShownWhole(const ControlSpec& spec) {
    return (spec.kind == K::Memo || spec.kind == K::Edit || spec.kind == K::LabeledEdit) &&
           spec.name != "EraseMemo" && spec.name != "DetalBadInfoMemo";
}

// The pages of the largest geometry and of the demo's first drive show every line of their memos
// and edits whole, in the fonts the window chose, at 100 % and (the same texts) at 150 %.
TEST(WinScreen, PagesShowEveryLineWholeAtBothScalings) {
    test::ScopedTempDir dir;
    const auto check = [&](const char* bench) {
        SpecialMode = DebugFileEnabled = RawDumpEnabled = false;
        CurrentDevice = 0;
        Desktop normal(GetModuleHandleW(nullptr), {dir.path(), "vtutility", {}}, 96);
        normal.form.FormShow();
        normal.form.ClickDeviceRow(0);
        normal.form.GetSmartInfoBnClick();
        EXPECT_GE(normal.ui.Lines("BadBlockMemo").size(), 10u) << bench;
        EXPECT_GE(normal.ui.Lines("SMARTMemo").size(), 10u) << bench;

        test::ScopedFakeBackend no_drives;
        Desktop large(GetModuleHandleW(nullptr),
                      {dir.path(), "vtutility", [] { return DeviceListRecord{}; }}, 144);
        for (const auto& spec : MainFormControls()) {
            if (!ShownWhole(spec)) continue;
            if (spec.kind == K::Memo) {
                large.ui.SetLines(spec.name, normal.ui.Lines(spec.name));
            } else {
                large.ui.SetText(spec.name, normal.ui.Text(spec.name));
            }
        }
        int checked = 0;
        for (auto* desktop : {&normal, &large}) {
            for (const auto& spec : MainFormControls()) {
                if (!ShownWhole(spec) || WindowText(desktop->window.Get(spec.name).hwnd).empty()) {
                    continue;
                }
                ++checked;
                const auto fit = desktop->window.TextFit(spec.name);
                EXPECT_LE(fit.widest, fit.room)
                    << bench << ": " << spec.name << " at " << desktop->window.Dpi()
                    << " dpi, narrowed to " << desktop->window.Get(spec.name).width_percent << " %";
            }
        }
        EXPECT_GT(checked, 60) << bench;
    };
    {
        test::ScopedBench largest(nlohmann::json::array({vt::sim::LargestGeometryDrive()}), false);
        check("largest geometry");
    }
    auto previous = platform::Install(sim::MakeDemoBench());
    check("demo");
    platform::Install(std::move(previous));
}

}  // namespace
}  // namespace vt::win
