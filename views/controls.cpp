#include "views/controls.h"

namespace vt {
namespace {

using K = ControlKind;

ControlSpec Make(std::string_view name, K kind, std::string_view parent, Geometry geometry,
                 std::string_view caption = {}) {
    ControlSpec spec;
    spec.name = name;
    spec.kind = kind;
    spec.parent = parent;
    spec.geometry = geometry;
    spec.caption = caption;
    return spec;
}

ControlSpec ReadOnlyEdit(std::string_view name, std::string_view parent, Geometry geometry) {
    auto spec = Make(name, K::Edit, parent, geometry);
    spec.read_only = true;
    return spec;
}

ControlSpec LabeledEdit(std::string_view name, std::string_view parent, Geometry geometry,
                        std::string_view caption, bool read_only, std::string_view text = {}) {
    auto spec = Make(name, K::LabeledEdit, parent, geometry, caption);
    spec.read_only = read_only;
    spec.text = text;
    return spec;
}

ControlSpec Memo(std::string_view name, std::string_view parent, Geometry geometry, bool read_only,
                 std::string_view font_family = kReportFontFamily) {
    auto spec = Make(name, K::Memo, parent, geometry);
    spec.read_only = read_only;
    spec.font_family = font_family;
    return spec;
}

ControlSpec Button(std::string_view name, std::string_view parent, Geometry geometry,
                   std::string_view caption, bool visible = true, bool enabled = true) {
    auto spec = Make(name, K::Button, parent, geometry, caption);
    spec.visible = visible;
    spec.enabled = enabled;
    return spec;
}

ControlSpec Group(std::string_view name, std::string_view parent, Geometry geometry,
                  std::string_view caption, bool visible = true) {
    auto spec = Make(name, K::Group, parent, geometry, caption);
    spec.visible = visible;
    return spec;
}

ControlSpec Page(std::string_view name, std::string_view caption, bool tab_visible) {
    auto spec = Make(name, K::Page, "PageControl1", {}, caption);
    spec.visible = tab_visible;
    return spec;
}

ControlSpec Hidden(ControlSpec spec) {
    spec.visible = false;
    return spec;
}

// Rows of read-only edits stacked in a group box, one every 32 pixels.
void AddEditColumn(std::vector<ControlSpec>& table, std::string_view group,
                   std::initializer_list<std::string_view> names, int width, int pitch = 32) {
    int top = 20;
    for (const auto name : names) {
        table.push_back(ReadOnlyEdit(name, group, {10, top, width, 21}));
        top += pitch;
    }
}

std::vector<ControlSpec> BuildTable() {
    std::vector<ControlSpec> t;

    t.push_back(Button("ScanBn", "", {24, 16, 75, 25}, "Scan"));
    t.push_back(Hidden(Make("DeviceList", K::Combo, "", {104, 16, 441, 21})));
    auto list = Make("ListView1", K::List, "", {24, 47, 1145, 146});
    list.read_only = true;
    list.columns = {{"Disk", 43},    {"Model", 270},        {"Serial No.", 160},
                    {"FW Rev.", 90}, {"Capacity(GB)", 105}, {"Interface", 100}};
    t.push_back(list);
    t.push_back(Make("PageControl1", K::PageControl, "", {24, 199, 1145, 513}));

    t.push_back(Page("TabSheet1", "SSD Info", true));
    t.push_back(Group("GroupBox1", "TabSheet1", {32, 4, 420, 410}, "SSD Setting"));
    AddEditColumn(t, "GroupBox1",
                  {"FlashmodelEdit", "ChannelEdit", "CapacityEdit", "DriverEdit", "ResPerEdit",
                   "EccReadEdit", "EccCopyEdit", "WearLevelingEdit", "BankMapEdit", "FwEdit",
                   "SupportEdit1", "SupportEdit2"},
                  400);
    t.push_back(Group("GroupBox2", "TabSheet1", {460, 4, 330, 182}, "Flash Info"));
    AddEditColumn(t, "GroupBox2",
                  {"FlashInfoEdit", "FlashTypeEdit", "BlockCeEdit", "PageBlockEdit", "CeEdit"},
                  310);
    t.push_back(Memo("SSDInfoMemo", "TabSheet1", {460, 194, 330, 286}, false));
    t.push_back(Memo("DpdFTLMemo", "TabSheet1", {798, 8, 332, 436}, false));
    t.push_back(Button("DpdFTLSaveBn", "TabSheet1", {798, 452, 75, 25}, "Save Info"));
    t.push_back(Make("SpecialTipShape", K::Shape, "TabSheet1", {2, 347, 23, 22}));

    t.push_back(Page("TabSheet2", "Erase Count", true));
    t.push_back(ReadOnlyEdit("AeraseEdit", "TabSheet2", {8, 340, 337, 21}));
    t.push_back(ReadOnlyEdit("MeraseEdit", "TabSheet2", {8, 368, 337, 21}));
    t.push_back(Make("Image1", K::Image, "TabSheet2", {8, 42, 337, 289}));
    auto label4 = Make("Label4", K::Label, "TabSheet2", {8, 6, 337, 32}, "schematic diagram");
    label4.font_points = 18;
    t.push_back(label4);
    t.push_back(Group("GroupBox5", "TabSheet2", {353, 4, 777, 442}, "Log"));
    t.push_back(Memo("EraseMemo", "GroupBox5", {8, 18, 761, 416}, true));
    t.push_back(Button("DetailSaveBn", "TabSheet2", {353, 452, 100, 25}, "Save Detail Info"));

    t.push_back(Page("TabSheet3", "Bad Block Info", true));
    t.push_back(Memo("BadBlockMemo", "TabSheet3", {8, 8, 480, 436}, false));
    t.push_back(Button("SavebadblockinfoBn", "TabSheet3", {8, 452, 75, 25}, "Save to File"));
    t.push_back(Group("GroupBox6", "TabSheet3", {496, 4, 634, 476}, "Detailed Bad Block Info"));
    t.push_back(Memo("DetalBadInfoMemo", "GroupBox6", {8, 18, 618, 418}, true));
    t.push_back(Button("SavebadblockDetailBn", "GroupBox6", {8, 444, 75, 25}, "Save to File"));

    t.push_back(Page("TabSheet4", "S.M.A.R.T info", true));
    auto grid = Make("StringGrid1", K::Grid, "TabSheet4", {8, 8, 640, 436});
    grid.read_only = true;
    grid.grid_rows = 30;
    grid.columns = {{{}, 40}, {{}, 224}, {{}, 56}, {{}, 50}, {{}, 50}, {{}, 66}, {{}, 130}};
    t.push_back(grid);
    t.push_back(Group("GroupBox4", "TabSheet4", {656, 4, 474, 290}, "S.M.A.R.T"));
    t.push_back(Memo("SMARTMemo", "GroupBox4", {8, 18, 458, 264}, true));
    t.push_back(Group("GroupBox7", "TabSheet4", {656, 300, 474, 146}, "Ecc fail", false));
    t.push_back(Memo("SmartEccMemo", "GroupBox7", {8, 18, 458, 120}, true));
    t.push_back(Button("GetSmartInfoBn", "TabSheet4", {8, 452, 100, 25}, "Get Smart Info"));
    t.push_back(Button("SaveSmartInfoBn", "TabSheet4", {116, 452, 100, 25}, "Save Smart Info", true,
                       false));
    t.push_back(Button("ResetSmartInfoBn", "TabSheet4", {224, 452, 100, 25}, "Reset Smart Info",
                       false, false));

    t.push_back(Page("TabSheet5", "Device Info", true));
    t.push_back(
        Group("GroupBox3", "TabSheet5", {8, 4, 560, 476}, "Vantrel Device Information(SATA) :"));
    AddEditColumn(
        t, "GroupBox3",
        {"ModelNameEdit", "SNEdit", "FwVersionEdit", "DiskHeadEdit", "ChsEdit", "TotalSectorEdit",
         "MultiwordDMAmodeEdit", "MultiwordDMAEdit", "UltraDMAModeEdit", "UltraDMAEdit",
         "SMARTfeatureEdit", "SecurityModeEdit", "WWNEdit"},
        540, 34);
    t.push_back(Group("GroupBox9", "TabSheet5", {576, 4, 554, 476},
                      "Vantrel Device Information(USB) :", false));
    {
        const std::pair<std::string_view, std::string_view> usb[] = {
            {"SNUSBEdit", "Serial Num. "},
            {"CapEdit", "Capacity "},
            {"TotalLBAEdit", "Total LBA"},
            {"VIDEdit", "VID"},
            {"PIDEdit", "PID"},
            {"VendorNameEdit", "Vendor Name"},
            {"ProductNameEdit", "Product Name"},
            {"ManufacturStringEdit", "Manufactur String"},
            {"ProductStringEdit", "Product String"},
        };
        int top = 34;
        for (const auto& [name, caption] : usb) {
            t.push_back(LabeledEdit(name, "GroupBox9", {10, top, 534, 21}, caption, true));
            top += 48;
        }
    }

    t.push_back(Page("TabSheet6", "Random read/write", false));
    t.push_back(Button("RwTestBn", "TabSheet6", {8, 8, 75, 25}, "R/W Test"));

    t.push_back(Page("TabSheet7", "Debug Tool", false));
    t.push_back(Group("GroupBox8", "TabSheet7", {8, 4, 560, 476}, "DebugTool", false));
    t.push_back(Make("Label1", K::Label, "GroupBox8", {8, 18, 540, 16},
                     "o reg val  ; out reg  ex: >o 1b2 23"));
    t.push_back(Make("Label2", K::Label, "GroupBox8", {8, 36, 540, 16},
                     "i reg      ; in reg   ex: >i 1cf5"));
    t.push_back(Make("Label3", K::Label, "GroupBox8", {8, 54, 540, 16},
                     "lba LBA    ; LBA -> (ch,bank,block)"));
    t.push_back(Make("DebugEdit", K::Edit, "GroupBox8", {8, 76, 544, 21}));
    t.push_back(Memo("DebugMemo", "GroupBox8", {8, 104, 544, 364}, true));
    t.push_back(Button("JumpToLoader", "TabSheet7", {576, 8, 100, 25}, "JumpToLoader"));
    t.push_back(Button("LoadGDPBn", "TabSheet7", {684, 8, 100, 25}, "LoadGDP"));
    t.push_back(Memo("DebugMemo2", "TabSheet7", {576, 40, 554, 300}, false, kFixedPitchFontFamily));
    t.push_back(LabeledEdit("DbgChLEdit", "TabSheet7", {576, 364, 80, 21}, "Channel", false, "8"));
    t.push_back(LabeledEdit("DbgBankLEdit", "TabSheet7", {664, 364, 80, 21}, "Bank", false, "0"));
    t.push_back(
        LabeledEdit("DbgBlockUnitLEdit", "TabSheet7", {752, 364, 80, 21}, "BlockUnit", false));
    t.push_back(LabeledEdit("DbgBlockLEdit", "TabSheet7", {840, 364, 80, 21}, "Block", false, "0"));
    t.push_back(LabeledEdit("DbgPageLEdit", "TabSheet7", {928, 364, 80, 21}, "Page", false, "1"));
    t.push_back(Make("Ecc24Ck", K::Check, "TabSheet7", {1016, 364, 80, 21}, "Ecc 24"));
    t.push_back(Button("DbgSysReadPage", "TabSheet7", {576, 400, 100, 25}, "SysReadPage"));
    t.push_back(Button("DbgLDReadPage", "TabSheet7", {684, 400, 100, 25}, "LDRReadPage"));
    t.push_back(Button("SaveReadPageBn", "TabSheet7", {792, 400, 100, 25}, "Save to file"));

    t.push_back(Page("TabSheet8", "Uart Log of F/W", false));
    t.push_back(Memo("UartLogMemo", "TabSheet8", {8, 8, 556, 436}, false));
    t.push_back(Memo("DbgErrLogMemo", "TabSheet8", {572, 8, 558, 436}, false));
    t.push_back(Button("UartLogSaveBtn", "TabSheet8", {8, 452, 100, 25}, "Save Uart Log"));
    t.push_back(Button("DbgErrLogSaveBtn", "TabSheet8", {572, 452, 110, 25}, "Save Dbg Err Log"));
    t.push_back(Button("ReadFwDebugMsgGDP", "TabSheet8", {690, 452, 200, 25},
                       "Read F/W Debug Message(GDP)", false));

    t.push_back(Page("TabSheet9", "Diagnose SSD", false));
    auto rma = Make("ListViewRMA", K::List, "TabSheet9", {8, 8, 820, 400});
    rma.read_only = true;
    rma.columns = {{"Test Item", 200}, {"Test Function", 400}, {"Test Status", 200}};
    t.push_back(rma);
    t.push_back(Button("DiagSSDBn", "TabSheet9", {840, 8, 75, 25}, "Check", true, false));
    t.push_back(
        Hidden(Memo("DiagMemo", "TabSheet9", {8, 414, 820, 64}, false, kFixedPitchFontFamily)));
    t.push_back(Button("DiagSSDSaveBn", "TabSheet9", {840, 40, 100, 25}, "Save Result", false));
    t.push_back(
        Button("DecodeLogFileBn", "TabSheet9", {840, 72, 100, 25}, "Decode logfile", false));
    return t;
}

}  // namespace

std::string_view KindWord(ControlKind kind) {
    switch (kind) {
        case K::Edit:
        case K::LabeledEdit:
            return "edit";
        case K::Memo:
            return "memo";
        case K::Grid:
            return "grid";
        case K::List:
            return "list";
        case K::Combo:
            return "combo";
        case K::Button:
            return "button";
        case K::Group:
            return "group";
        case K::Label:
            return "label";
        case K::Check:
            return "check";
        case K::Image:
            return "image";
        case K::Shape:
            return "shape";
        case K::Page:
            return "page";
        case K::PageControl:
            return "pages";
    }
    return "";
}

std::span<const ControlSpec> MainFormControls() {
    static const std::vector<ControlSpec> table = BuildTable();
    return table;
}

const ControlSpec* FindControl(std::string_view name) {
    for (const auto& spec : MainFormControls()) {
        if (spec.name == name) return &spec;
    }
    return nullptr;
}

std::vector<const ControlSpec*> MainFormPages() {
    std::vector<const ControlSpec*> pages;
    for (const auto& spec : MainFormControls()) {
        if (spec.kind == ControlKind::Page) pages.push_back(&spec);
    }
    return pages;
}

}  // namespace vt
