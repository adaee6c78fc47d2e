#include "views/erase_count_schematic.h"

#include <cstdio>

namespace vt::schematic {
namespace {

Point CellCentre(int row, int column) {
    return {kLeft + kLabelWidth + column * kCellWidth + kCellWidth / 2,
            kTop + (row + 1) * kRowHeight + kRowHeight / 2};
}

Point Plus(Point a, int dx, int dy) {
    return {a.x + dx, a.y + dy};
}

int SampleCount(int row, int column) {
    return 10 + (row * 7 + column * 3) % 23;
}

Picture Draw() {
    Picture p;
    char cell[32];
    p.table.push_back({{kLeft, kTop}, "Ch/CE"});
    for (int column = 0; column < kColumns; ++column) {
        std::snprintf(cell, sizeof cell, "[%d]/[%d]", column % 4, column / 4);
        p.table.push_back({{kLeft + kLabelWidth + column * kCellWidth, kTop}, cell});
    }
    for (int row = 0; row < kRows; ++row) {
        const int y = kTop + (row + 1) * kRowHeight + 12;
        std::snprintf(cell, sizeof cell, "%04d", row);
        p.table.push_back({{kLeft, y}, cell});
        for (int column = 0; column < kColumns; ++column) {
            if (row < 2) {
                std::snprintf(cell, sizeof cell, "X");  // the firmware's code blocks hold no count
            } else if (row == 5 && column == 2) {
                std::snprintf(cell, sizeof cell, "[ 9]");
            } else {
                std::snprintf(cell, sizeof cell, "%2d", SampleCount(row, column));
            }
            p.table.push_back({{kLeft + kLabelWidth + column * kCellWidth, y}, cell});
        }
    }
    p.rule_from = {kLeft, kTop + 4};
    p.rule_to = {kLeft + kLabelWidth + kColumns * kCellWidth, kTop + 4};
    p.column_from = {kLeft + kLabelWidth - 4, kTop - 12};
    p.column_to = {kLeft + kLabelWidth - 4, kTop + (kRows + 1) * kRowHeight + 2};

    std::snprintf(cell, sizeof cell, "CH%d/CE%d, block 7: %d", 5 % 4, 5 / 4, SampleCount(7, 5));
    p.notes = {
        {{170, 18}, "code block", Plus(CellCentre(0, 3), -6, 4)},
        {{96, 282}, "bad block", Plus(CellCentre(5, 2), 0, 10)},
        {{8, 260}, "block No.", {kLeft + 14, CellCentre(10, 0).y + 6}},
        {{176, 276}, cell, Plus(CellCentre(7, 5), 4, 6)},
    };
    p.ring_centre = Plus(CellCentre(7, 5), -4, 0);
    p.paragraph =
        "[channel]/[CE] above each column;\nthe row is the block; the cell is its erase "
        "count.\nX: no count kept.\n[n]: a known bad block.";
    return p;
}

}  // namespace

const Picture& EraseCountPicture() {
    static const Picture picture = Draw();
    return picture;
}

Arrow ArrowOf(const Note& note) {
    const Point start = Plus(note.text_at, 0, -4);
    const Point bend{(start.x + note.target.x) / 2 + 8, (start.y + note.target.y) / 2 - 10};
    return {start, bend, note.target};
}

}  // namespace vt::schematic
