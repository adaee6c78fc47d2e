#pragma once
// Every named control of the main window, in the order the window owns them. The desktop window
// and the headless window are both built from this one table, so they cannot disagree about a
// name, a kind, a caption or a starting state.

#include <span>
#include <string_view>
#include <vector>

namespace vt {

enum class ControlKind {
    Edit,         // single-line edit box
    LabeledEdit,  // edit box with its own caption label above it
    Memo,
    Grid,   // string grid; cells addressed by row and column
    List,   // report-style list view with column headers
    Combo,  // drop-down list
    Button,
    Group,
    Label,
    Check,
    Image,
    Shape,
    Page,         // a tab page of PageControl1
    PageControl,  // the tab control itself
};

// The kind's word in the headless window's JSON ("edit" for both edit kinds).
std::string_view KindWord(ControlKind kind);

struct Geometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct ListColumn {
    std::string_view caption;
    int width = 0;
};

struct ControlSpec {
    std::string_view name;
    ControlKind kind = ControlKind::Edit;
    // The page, group or tab control it sits in; empty for the window itself.
    std::string_view parent;
    // Button, group, label, check box and labelled-edit caption; a page's tab caption.
    std::string_view caption;
    // Starting text of an edit box.
    std::string_view text;
    bool visible = true;  // for a page: whether its tab is shown
    bool enabled = true;
    bool read_only = false;
    // Relative to the parent's client area.
    Geometry geometry;
    // List columns, or grid column widths (captions empty).
    std::vector<ListColumn> columns;
    int grid_rows = 0;
    // Fontconfig family names of Debian's font packages (the .deb depends on them); empty: the
    // window's font.
    std::string_view font_family;
    int font_points = 0;  // 0: the window's size
};

// The whole table, in ownership order: the controls outside the pages first, then each page
// followed by what it holds, groups before their contents.
std::span<const ControlSpec> MainFormControls();
// nullptr for a name the window does not have.
const ControlSpec* FindControl(std::string_view name);
// The pages in tab order.
std::vector<const ControlSpec*> MainFormPages();

// The window's font, an 8-point sans serif. Reports in memos take a narrow face of it, so that
// their lines, laid out for the original 8-point face, fit the memos; the two memos that line up
// typed columns take a fixed-pitch face.
inline constexpr std::string_view kWindowFontFamily = "Liberation Sans";
inline constexpr int kWindowFontPoints = 8;
inline constexpr std::string_view kReportFontFamily = "Liberation Sans Narrow";
inline constexpr std::string_view kFixedPitchFontFamily = "Liberation Mono";

// The window's client area and the fixed picture behind Image1.
inline constexpr int kFormClientWidth = 1194;
inline constexpr int kFormClientHeight = 723;
inline constexpr int kSchematicWidth = 625;
inline constexpr int kSchematicHeight = 345;

}  // namespace vt
