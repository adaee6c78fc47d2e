#include <gtest/gtest.h>

#include "views/controls.h"
#include "views/headless_presentation.h"

namespace vt {
namespace {

TEST(HeadlessWindow, JsonCarriesEveryNamedControlWithTheKeysOfItsKind) {
    HeadlessPresentation ui;
    ui.SetTitle("T");
    const auto json = ui.ToJson({});
    EXPECT_EQ(json["title"], "T");
    const auto& controls = json["controls"];
    for (const auto& spec : MainFormControls()) {
        if (spec.kind == ControlKind::Page || spec.kind == ControlKind::PageControl) {
            EXPECT_FALSE(controls.contains(std::string(spec.name)));
            continue;
        }
        ASSERT_TRUE(controls.contains(std::string(spec.name))) << spec.name;
        const auto& control = controls[std::string(spec.name)];
        EXPECT_TRUE(control.contains("visible") && control.contains("enabled")) << spec.name;
    }
    EXPECT_EQ(controls["SNUSBEdit"]["kind"], "edit");
    EXPECT_EQ(controls["SNUSBEdit"]["text"], "");
    EXPECT_EQ(controls["DbgChLEdit"]["text"], "8");
    EXPECT_EQ(controls["EraseMemo"]["lines"], nlohmann::ordered_json::array());
    EXPECT_EQ(controls["DeviceList"]["kind"], "combo");
    EXPECT_EQ(controls["ListView1"]["rows"], nlohmann::ordered_json::array());
    EXPECT_EQ(controls["Ecc24Ck"]["caption"], "Ecc 24");
    EXPECT_EQ(controls["Ecc24Ck"]["checked"], false);
    EXPECT_EQ(controls["Image1"].size(), 3u);
    EXPECT_EQ(controls["SpecialTipShape"]["kind"], "shape");
    const auto& cells = controls["StringGrid1"]["cells"];
    ASSERT_EQ(cells.size(), 30u);
    EXPECT_EQ(cells[0].size(), 7u);
    ASSERT_EQ(json["pages"].size(), 9u);
    EXPECT_EQ(json["pages"][8]["name"], "TabSheet9");
    EXPECT_EQ(json["active_page"], "TabSheet1");
    EXPECT_EQ(json["close_requested"], false);
    EXPECT_EQ(json["state"]["CarrierMode"], 0);
}

TEST(HeadlessWindow, EightBitTextsGoOutAsTheCharacterOfEachByte) {
    HeadlessPresentation ui;
    ui.SetText("FwEdit", std::string("a\xB5\xFF\x01", 4));
    const auto json = ui.ToJson({});
    EXPECT_EQ(json["controls"]["FwEdit"]["text"], "a\u00B5\u00FF\u0001");
    EXPECT_EQ(Latin1ToUtf8(std::string("\x80", 1)), "\xC2\x80");
}

TEST(HeadlessWindow, MemoLinesSplitAtCrLfOnly) {
    HeadlessPresentation ui;
    ui.AppendLine("EraseMemo", "one\r\ntwo\nstill two\rand this");
    ui.AppendLine("EraseMemo", "end\r\n");
    EXPECT_EQ(ui.Lines("EraseMemo"),
              (std::vector<std::string>{"one", "two\nstill two\rand this", "end", ""}));
    ui.SetLines("EraseMemo", {"x"});
    EXPECT_EQ(ui.Lines("EraseMemo"), std::vector<std::string>{"x"});
}

TEST(HeadlessWindow, GridCellsOutsideTheGridAreIgnored) {
    HeadlessPresentation ui;
    ui.SetCell("StringGrid1", 29, 6, "last");
    ui.SetCell("StringGrid1", 30, 0, "past");
    ui.SetCell("StringGrid1", 0, 7, "past");
    ui.SetCell("StringGrid1", -1, 0, "past");
    EXPECT_EQ(ui.Cell("StringGrid1", 29, 6), "last");
    EXPECT_EQ(ui.Cell("StringGrid1", 30, 0), "");
    EXPECT_EQ(ui.RowCount("StringGrid1"), 30);
    EXPECT_EQ(ui.ColCount("StringGrid1"), 7);
}

TEST(HeadlessWindow, UnknownNamesAndWrongKindsAreRefused) {
    HeadlessPresentation ui;
    EXPECT_THROW(ui.SetText("NoSuchEdit", "x"), std::invalid_argument);
    EXPECT_THROW(ui.SetText("EraseMemo", "x"), std::invalid_argument);
    EXPECT_THROW(ui.SetActivePage("ScanBn"), std::invalid_argument);
    EXPECT_THROW(ui.SelectRow("ListView1", 0), std::invalid_argument);
}

TEST(HeadlessWindow, DialogsAnswerFromTheOptions) {
    HeadlessPresentation cancelling;
    EXPECT_FALSE(cancelling.AskSaveFile({"/dir", "EraseCount", "txt", "*.txt"}));
    EXPECT_FALSE(cancelling.AskOpenFile({}));
    HeadlessPresentation answering({"/out", "/in/file.log"});
    EXPECT_EQ(answering.AskSaveFile({"/dir", "EraseCount", "txt", "*.txt"}), "/out/EraseCount.txt");
    EXPECT_EQ(answering.AskOpenFile({}), "/in/file.log");
}

TEST(HeadlessWindow, ComboTextIsTheChosenLine) {
    HeadlessPresentation ui;
    ui.SetLines("DeviceList", {"first", "second"});
    EXPECT_EQ(ui.ItemIndex("DeviceList"), -1);
    EXPECT_EQ(ui.Text("DeviceList"), "");
    ui.SetItemIndex("DeviceList", 1);
    EXPECT_EQ(ui.Text("DeviceList"), "second");
    ui.SetItemIndex("DeviceList", 5);
    EXPECT_EQ(ui.ItemIndex("DeviceList"), -1);
}

}  // namespace
}  // namespace vt
