#pragma once
// What the fixed picture behind Image1 shows: a sample erase count table with notes in red on how
// to read it. Each front paints it with its own toolkit from this description, in pixels at
// 96 dots per inch on a white ground of kSchematicWidth x kSchematicHeight.

#include <string>
#include <vector>

namespace vt::schematic {

struct Point {
    int x = 0;
    int y = 0;
};

inline constexpr int kLeft = 8;
inline constexpr int kTop = 30;
inline constexpr int kRowHeight = 17;
inline constexpr int kLabelWidth = 40;
inline constexpr int kCellWidth = 46;
inline constexpr int kColumns = 8;  // 4 channels x 2 CEs
inline constexpr int kRows = 12;
inline constexpr int kTableFontPixels = 10;  // fixed pitch
inline constexpr int kParagraphFontPixels = 12;

// A text in the table's fixed-pitch face, its baseline starting at `at`.
struct Text {
    Point at;
    std::string text;
};
// A red note in bold italics with a bent arrow from just above its start to `target`.
struct Note {
    Point text_at;
    std::string text;
    Point target;
};

struct Picture {
    std::vector<Text> table;       // header, block numbers and cells
    Point rule_from, rule_to;      // the two grey rules: under the header...
    Point column_from, column_to;  // ... and right of the block numbers
    std::vector<Note> notes;
    Point ring_centre;  // a red ring around the sample cell
    int ring_rx = 16;
    int ring_ry = 9;
    // Beyond the part the page shows: how to read one column, word-wrapped in this box.
    int paragraph_left = 360, paragraph_top = 40, paragraph_width = 250, paragraph_height = 120;
    std::string paragraph;
};

const Picture& EraseCountPicture();

// The curve of a note's arrow: a quadratic Bezier from `start` through `control` to the target.
struct Arrow {
    Point start;
    Point control;
    Point target;
};
Arrow ArrowOf(const Note& note);

}  // namespace vt::schematic
