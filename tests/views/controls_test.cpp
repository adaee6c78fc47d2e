#include <gtest/gtest.h>

#include <set>
#include <string>

#include "views/controls.h"

namespace vt {
namespace {

TEST(ControlTable, NamesAreUniqueAndEveryParentExistsBeforeItsChildren) {
    std::set<std::string_view> seen;
    for (const auto& spec : MainFormControls()) {
        EXPECT_TRUE(seen.insert(spec.name).second) << spec.name;
        if (!spec.parent.empty()) {
            EXPECT_TRUE(seen.count(spec.parent)) << spec.name << " sits in " << spec.parent;
            const auto* parent = FindControl(spec.parent);
            ASSERT_NE(parent, nullptr);
            const bool container = parent->kind == ControlKind::Page ||
                                   parent->kind == ControlKind::Group ||
                                   parent->kind == ControlKind::PageControl;
            EXPECT_TRUE(container) << spec.parent;
        }
    }
}

TEST(ControlTable, PagesInTabOrderWithTheirCaptionsAndTabs) {
    const auto pages = MainFormPages();
    const std::pair<std::string_view, std::string_view> expected[] = {
        {"TabSheet1", "SSD Info"},       {"TabSheet2", "Erase Count"},
        {"TabSheet3", "Bad Block Info"}, {"TabSheet4", "S.M.A.R.T info"},
        {"TabSheet5", "Device Info"},    {"TabSheet6", "Random read/write"},
        {"TabSheet7", "Debug Tool"},     {"TabSheet8", "Uart Log of F/W"},
        {"TabSheet9", "Diagnose SSD"},
    };
    ASSERT_EQ(pages.size(), std::size(expected));
    for (std::size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i]->name, expected[i].first);
        EXPECT_EQ(pages[i]->caption, expected[i].second);
        EXPECT_EQ(pages[i]->visible, i < 5) << pages[i]->name;
    }
}

struct Expected {
    std::string_view name;
    ControlKind kind;
    std::string_view page;  // the page it ends up on, through any group
    std::string_view caption;
    bool visible;
    bool enabled;
};

std::string_view PageOf(const ControlSpec& spec) {
    const ControlSpec* at = &spec;
    while (at && at->kind != ControlKind::Page && !at->parent.empty()) at = FindControl(at->parent);
    return at && at->kind == ControlKind::Page ? at->name : std::string_view{};
}

TEST(ControlTable, ControlsSitOnTheirPagesWithTheirStartingStates) {
    using K = ControlKind;
    const Expected expected[] = {
        {"ScanBn", K::Button, "", "Scan", true, true},
        {"DeviceList", K::Combo, "", "", false, true},
        {"FlashmodelEdit", K::Edit, "TabSheet1", "", true, true},
        {"SupportEdit2", K::Edit, "TabSheet1", "", true, true},
        {"CeEdit", K::Edit, "TabSheet1", "", true, true},
        {"DpdFTLSaveBn", K::Button, "TabSheet1", "Save Info", true, true},
        {"SpecialTipShape", K::Shape, "TabSheet1", "", true, true},
        {"Label4", K::Label, "TabSheet2", "schematic diagram", true, true},
        {"Image1", K::Image, "TabSheet2", "", true, true},
        {"EraseMemo", K::Memo, "TabSheet2", "", true, true},
        {"DetailSaveBn", K::Button, "TabSheet2", "Save Detail Info", true, true},
        {"SavebadblockDetailBn", K::Button, "TabSheet3", "Save to File", true, true},
        {"StringGrid1", K::Grid, "TabSheet4", "", true, true},
        {"GroupBox4", K::Group, "TabSheet4", "S.M.A.R.T", true, true},
        {"GroupBox7", K::Group, "TabSheet4", "Ecc fail", false, true},
        {"SaveSmartInfoBn", K::Button, "TabSheet4", "Save Smart Info", true, false},
        {"ResetSmartInfoBn", K::Button, "TabSheet4", "Reset Smart Info", false, false},
        {"GroupBox3", K::Group, "TabSheet5", "Vantrel Device Information(SATA) :", true, true},
        {"GroupBox9", K::Group, "TabSheet5", "Vantrel Device Information(USB) :", false, true},
        {"WWNEdit", K::Edit, "TabSheet5", "", true, true},
        {"SNUSBEdit", K::LabeledEdit, "TabSheet5", "Serial Num. ", true, true},
        {"ManufacturStringEdit", K::LabeledEdit, "TabSheet5", "Manufactur String", true, true},
        {"RwTestBn", K::Button, "TabSheet6", "R/W Test", true, true},
        {"GroupBox8", K::Group, "TabSheet7", "DebugTool", false, true},
        {"Label1", K::Label, "TabSheet7", "o reg val  ; out reg  ex: >o 1b2 23", true, true},
        {"DebugEdit", K::Edit, "TabSheet7", "", true, true},
        {"DbgBlockUnitLEdit", K::LabeledEdit, "TabSheet7", "BlockUnit", true, true},
        {"Ecc24Ck", K::Check, "TabSheet7", "Ecc 24", true, true},
        {"DbgLDReadPage", K::Button, "TabSheet7", "LDRReadPage", true, true},
        {"ReadFwDebugMsgGDP", K::Button, "TabSheet8", "Read F/W Debug Message(GDP)", false, true},
        {"DbgErrLogSaveBtn", K::Button, "TabSheet8", "Save Dbg Err Log", true, true},
        {"ListViewRMA", K::List, "TabSheet9", "", true, true},
        {"DiagSSDBn", K::Button, "TabSheet9", "Check", true, false},
        {"DiagMemo", K::Memo, "TabSheet9", "", false, true},
        {"DecodeLogFileBn", K::Button, "TabSheet9", "Decode logfile", false, true},
    };
    for (const auto& want : expected) {
        const auto* spec = FindControl(want.name);
        ASSERT_NE(spec, nullptr) << want.name;
        EXPECT_EQ(spec->kind, want.kind) << want.name;
        EXPECT_EQ(PageOf(*spec), want.page) << want.name;
        EXPECT_EQ(spec->caption, want.caption) << want.name;
        EXPECT_EQ(spec->visible, want.visible) << want.name;
        EXPECT_EQ(spec->enabled, want.enabled) << want.name;
    }
    EXPECT_EQ(FindControl("NoSuchControl"), nullptr);
}

TEST(ControlTable, DebugPageEditsStartWithTheirValues) {
    EXPECT_EQ(FindControl("DbgChLEdit")->text, "8");
    EXPECT_EQ(FindControl("DbgBankLEdit")->text, "0");
    EXPECT_EQ(FindControl("DbgBlockUnitLEdit")->text, "");
    EXPECT_EQ(FindControl("DbgBlockLEdit")->text, "0");
    EXPECT_EQ(FindControl("DbgPageLEdit")->text, "1");
}

TEST(ControlTable, DeviceListColumnsAndFixedPlaces) {
    const auto* list = FindControl("ListView1");
    ASSERT_EQ(list->columns.size(), 6u);
    const std::pair<std::string_view, int> columns[] = {{"Disk", 43},          {"Model", 270},
                                                        {"Serial No.", 160},   {"FW Rev.", 90},
                                                        {"Capacity(GB)", 105}, {"Interface", 100}};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(list->columns[i].caption, columns[i].first);
        EXPECT_EQ(list->columns[i].width, columns[i].second);
    }
    const auto g = list->geometry;
    EXPECT_EQ((std::array{g.left, g.top, g.width, g.height}), (std::array{24, 47, 1145, 146}));
    const auto shape = FindControl("SpecialTipShape")->geometry;
    EXPECT_EQ((std::array{shape.left, shape.top, shape.width, shape.height}),
              (std::array{2, 347, 23, 22}));
    const auto image = FindControl("Image1")->geometry;
    EXPECT_EQ(image.width, 337);
    EXPECT_EQ(image.height, 289);
    EXPECT_EQ(FindControl("StringGrid1")->columns.size(), 7u);
    EXPECT_EQ(FindControl("StringGrid1")->grid_rows, 30);
}

// A control inside a page or group must fit in it, or the desktop window would cut it off.
TEST(ControlTable, ControlsFitInsideTheirContainers) {
    for (const auto& spec : MainFormControls()) {
        if (spec.parent.empty() || spec.kind == ControlKind::Page) continue;
        const auto* parent = FindControl(spec.parent);
        if (parent->kind == ControlKind::Page) {
            // The page's client area: the tab control less its tab row and frame.
            EXPECT_LE(spec.geometry.left + spec.geometry.width, 1145 - 6) << spec.name;
            EXPECT_LE(spec.geometry.top + spec.geometry.height, 513 - 30) << spec.name;
        } else {
            EXPECT_LE(spec.geometry.left + spec.geometry.width, parent->geometry.width)
                << spec.name;
            EXPECT_LE(spec.geometry.top + spec.geometry.height, parent->geometry.height)
                << spec.name;
        }
    }
}

}  // namespace
}  // namespace vt
