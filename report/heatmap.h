#pragma once
// A picture of a drive's erase counts for a person to read: one strip per channel and CE with the
// blocks folded into short lines, labelled columns, a block axis, a legend and a title; as PNG or
// as SVG with its text kept as text. A drive with more blocks than fit at a readable size gets
// cells of several blocks each, which the legend says.

#include <cstdint>
#include <string>
#include <vector>

#include "pages/erase_count.h"

namespace vt {

inline constexpr std::uint32_t kHeatmapBad = 0xFF00FF;      // magenta
inline constexpr std::uint32_t kHeatmapNoValue = 0x808080;  // grey

// What the picture shows: the erase count page's grid, whatever form the controller gave the
// counts in, and the title's texts.
struct HeatmapData {
    static constexpr std::uint32_t kNoCount = kNoEraseCount;

    std::string model;
    std::string serial;
    std::string date;
    EraseCountGrid grid;

    std::size_t Columns() const { return grid.columns(); }
    unsigned Channel(std::size_t column) const {
        return static_cast<unsigned>(grid.channels ? column % grid.channels : column);
    }
    unsigned Ce(std::size_t column) const {
        return static_cast<unsigned>(grid.channels ? column / grid.channels : 0);
    }
    std::uint32_t Count(std::size_t row, std::size_t column) const { return grid.At(row, column); }
    bool Bad(std::size_t row, std::size_t column) const { return grid.BadAt(row, column); }
};

struct Box {
    double x = 0, y = 0, width = 0, height = 0;
};

// Where everything lands, so that the drawing and its checks agree.
struct HeatmapLayout {
    int width = 0;
    int height = 0;
    int cell = 1;           // pixels per cell side
    std::size_t fold = 1;   // cells per strip line
    std::size_t group = 1;  // consecutive blocks of a strip per cell
    double map_top = 0;
    std::vector<double> column_left;  // per column
    std::uint32_t low = 0, high = 0;  // the scale's ends
    Box title;
    std::vector<Box> channel_labels;            // per column
    std::vector<Box> ce_labels;                 // per run of columns of one CE
    std::vector<Box> block_labels;              // the axis' numbers, top to bottom
    std::vector<std::size_t> block_label_rows;  // the row each of them names
    Box scale_bar;                              // highest count at the top
    Box scale_high_label, scale_low_label;
    Box bad_swatch, bad_label, no_count_swatch, no_count_label;
    Box group_label;  // what a cell of several blocks shows; empty for one block a cell
    Box channel_caption, ce_caption, block_caption, scale_caption;

    // `cell_row`: the row of the data divided by `group`.
    Box Cell(std::size_t cell_row, std::size_t column) const;
};

// The reason the data cannot be laid out (none to draw, too wide, no cairo), empty when `layout`
// holds where everything lands.
[[nodiscard]] std::string LayoutHeatmap(const HeatmapData& data, HeatmapLayout& layout);

// The colour of a count on the scale from `low` to `high` (blue, cyan, green, yellow, red).
std::uint32_t ScaleColour(double count, double low, double high);
// The colour of a cell: the bad colour when any of its blocks is a bad block, else that of its
// highest count, else the no-count grey.
std::uint32_t CellColour(const HeatmapData& data, const HeatmapLayout& layout, std::size_t cell_row,
                         std::size_t column);

// Empty when the pictures can be drawn, else why not: this build has no cairo, or the cairo
// library (loaded on the first call, not at start-up) cannot be loaded or lacks a call.
std::string HeatmapUnavailable();

// The reason the picture could not be drawn or written, empty when it was written.
[[nodiscard]] std::string WriteHeatmapPng(const HeatmapData& data, const std::string& path);
[[nodiscard]] std::string WriteHeatmapSvg(const HeatmapData& data, const std::string& path);

}  // namespace vt
