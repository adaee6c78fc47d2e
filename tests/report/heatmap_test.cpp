// The heat map as a person reads it: the cells of known blocks in their colours, and the legend,
// the labels and the title present, in the PNG's pixels and in the SVG's text.

#include "report/heatmap.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/fake_backend.h"

namespace vt {
namespace {

// 2 channels x 2 CEs x 300 blocks: count = 10 + table * 300 + block, with block 5 of table 1 bad,
// block 7 of table 2 without a count and block 9 of table 3 marked bad but without a count.
HeatmapData PerTable() {
    PerTableCounts c;
    c.channels = 2;
    c.ces = 2;
    c.dies = 1;
    c.blocks = 300;
    for (std::size_t t = 0; t < 4; ++t) {
        for (std::size_t p = 0; p < c.blocks; ++p)
            c.entries.push_back(static_cast<std::uint16_t>(10 + t * 300 + p));
    }
    c.entries[2 * 300 + 7] = 0xFFFF;
    c.entries[3 * 300 + 9] = 0xFFFF;
    BadBlockMarks marks;
    marks.Mark(1, 0, 5);
    marks.Mark(1, 1, 9);
    HeatmapData data;
    data.grid = PerTableEraseCountPage(c, &marks).grid;
    return data;
}

HeatmapData Titled(HeatmapData data) {
    data.model = "K38 demo";
    data.serial = "SN<01>";
    data.date = "2026-12-09";
    return data;
}

struct Png {
    explicit Png(const std::string& path)
        : surface(cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy) {}
    bool ok() const { return cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface.get()); }
    int height() const { return cairo_image_surface_get_height(surface.get()); }
    std::uint32_t At(double fx, double fy) const {
        const int x = static_cast<int>(fx), y = static_cast<int>(fy);
        std::uint32_t p;
        std::memcpy(&p,
                    cairo_image_surface_get_data(surface.get()) +
                        y * cairo_image_surface_get_stride(surface.get()) + 4 * x,
                    4);
        return p & 0xFFFFFF;
    }
    std::uint32_t Centre(const Box& box) const {
        return At(box.x + box.width / 2, box.y + box.height / 2);
    }
    // Pixels dark enough to be the strokes of black text.
    int Ink(const Box& box) const {
        int dark = 0;
        for (int y = static_cast<int>(box.y); y < box.y + box.height; ++y) {
            for (int x = static_cast<int>(box.x); x < box.x + box.width; ++x) {
                const auto p = At(x, y);
                dark += (p >> 16 & 0xFF) < 0x60 && (p >> 8 & 0xFF) < 0x60 && (p & 0xFF) < 0x60;
            }
        }
        return dark;
    }
    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface;
};

TEST(Heatmap, PngShowsKnownBlocksLegendAndLabels) {
    const auto data = Titled(PerTable());
    HeatmapLayout layout;
    ASSERT_EQ(LayoutHeatmap(data, layout), "");
    test::ScopedTempDir dir;
    ASSERT_EQ(WriteHeatmapPng(data, dir.File("map.png")), "");
    const Png png(dir.File("map.png"));
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), layout.width);
    EXPECT_EQ(png.height(), layout.height);
    // Blocks big enough to see.
    EXPECT_GE(layout.cell, 4);

    EXPECT_EQ(layout.low, 10u);
    EXPECT_EQ(layout.high, 10u + 3 * 300 + 299);
    EXPECT_EQ(png.Centre(layout.Cell(0, 0)), 0x0000FFu);    // lowest count: blue
    EXPECT_EQ(png.Centre(layout.Cell(299, 3)), 0xFF0000u);  // highest: red
    EXPECT_EQ(png.Centre(layout.Cell(5, 1)), kHeatmapBad);
    EXPECT_EQ(png.Centre(layout.Cell(7, 2)), kHeatmapNoValue);
    EXPECT_EQ(png.Centre(layout.Cell(150, 1)),
              ScaleColour(data.Count(150, 1), layout.low, layout.high));
    // Neighbouring blocks sit side by side in a strip; strips do not overlap.
    EXPECT_EQ(layout.Cell(1, 0).x, layout.Cell(0, 0).x + layout.cell);
    EXPECT_GT(layout.column_left[1], layout.Cell(layout.fold - 1, 0).x + layout.cell);

    const Box& bar = layout.scale_bar;
    EXPECT_EQ(png.At(bar.x + bar.width / 2, bar.y), 0xFF0000u);
    EXPECT_EQ(png.At(bar.x + bar.width / 2, bar.y + bar.height - 1), 0x0000FFu);
    EXPECT_EQ(png.Centre(layout.bad_swatch), kHeatmapBad);
    EXPECT_EQ(png.Centre(layout.no_count_swatch), kHeatmapNoValue);

    std::vector<std::pair<std::string, Box>> texts = {{"title", layout.title},
                                                      {"scale high", layout.scale_high_label},
                                                      {"scale low", layout.scale_low_label},
                                                      {"bad", layout.bad_label},
                                                      {"no count", layout.no_count_label},
                                                      {"channel caption", layout.channel_caption},
                                                      {"CE caption", layout.ce_caption},
                                                      {"block caption", layout.block_caption},
                                                      {"scale caption", layout.scale_caption}};
    for (std::size_t c = 0; c < layout.channel_labels.size(); ++c)
        texts.emplace_back("channel " + std::to_string(c), layout.channel_labels[c]);
    for (std::size_t c = 0; c < layout.ce_labels.size(); ++c)
        texts.emplace_back("CE " + std::to_string(c), layout.ce_labels[c]);
    for (std::size_t i = 0; i < layout.block_labels.size(); ++i)
        texts.emplace_back("block label " + std::to_string(i), layout.block_labels[i]);
    EXPECT_EQ(layout.ce_labels.size(), 2u);
    EXPECT_GE(layout.block_labels.size(), 3u);
    for (const auto& [what, box] : texts) {
        EXPECT_GE(png.Ink(box), 4) << what << " is not drawn";
        EXPECT_LE(box.x + box.width, layout.width) << what;
        EXPECT_GE(box.x, 0) << what;
    }
    // A text box is not the picture's background everywhere: the checks above can fail.
    EXPECT_EQ(png.Ink({0, 0, 4, 4}), 0);
}

TEST(Heatmap, SvgKeepsItsTextsAsTextAndIsWellFormed) {
    const auto data = Titled(PerTable());
    test::ScopedTempDir dir;
    ASSERT_EQ(WriteHeatmapSvg(data, dir.File("map.svg")), "");
    const auto bytes = test::ReadAll(dir.File("map.svg"));
    const std::string svg(bytes.begin(), bytes.end());
    for (const std::string text :
         {">Erase counts of K38 demo, S/N SN&lt;01&gt;, 2026-12-09</text>", ">CE 0</text>",
          ">CE 1</text>", ">Channel</text>", ">Block</text>", ">bad block</text>",
          ">no count</text>", ">10</text>", ">1209</text>", ">0</text>", ">1</text>"}) {
        EXPECT_NE(svg.find(text), std::string::npos) << text;
    }
    // Cells are vector shapes in the bad and no-count colours.
    EXPECT_NE(svg.find("rgb(100%,0%,100%)"), std::string::npos);
    EXPECT_NE(svg.find("rgb(50.196078%,50.196078%,50.196078%)"), std::string::npos);
    EXPECT_EQ(std::system(("xmllint --noout " + dir.File("map.svg") + " 2>/dev/null").c_str()), 0);
}

TEST(Heatmap, LargestGeometryFitsAScreenAndBadDataIsRefused) {
    PerTableCounts c;
    c.channels = 8;
    c.ces = 8;
    c.dies = 1;
    c.blocks = 4096;
    c.entries.assign(64 * 4096, 100);
    HeatmapData largest;
    largest.grid = PerTableEraseCountPage(c, nullptr).grid;
    HeatmapLayout layout;
    ASSERT_EQ(LayoutHeatmap(largest, layout), "");
    EXPECT_LE(layout.width, 1920);
    EXPECT_LE(layout.height, 1300);
    EXPECT_GE(layout.cell, 2);
    EXPECT_EQ(layout.ce_labels.size(), 8u);

    EXPECT_EQ(LayoutHeatmap(HeatmapData{}, layout), "no erase counts to draw");
    auto torn = largest;
    torn.grid.bad.pop_back();
    EXPECT_EQ(LayoutHeatmap(torn, layout), "the erase counts do not match their rows and columns");
    HeatmapData wide;
    wide.grid = K12EraseCountPage(255, 255, std::vector<std::uint32_t>{1}).grid;
    EXPECT_EQ(LayoutHeatmap(wide, layout), "too many erase count columns to draw");
    test::ScopedTempDir dir;
    EXPECT_EQ(WriteHeatmapPng(wide, dir.File("wide.png")), "too many erase count columns to draw");
    EXPECT_FALSE(std::filesystem::exists(dir.File("wide.png")));
}

TEST(Heatmap, ADriveTooTallForItsBlocksGetsCellsOfSeveralBlocks) {
    // A K14 drive's lists under 64 columns: 32,768 rows did not fit at one pixel a block, and the
    // picture of the largest such drive grew to 385 MB of SVG.
    std::vector<std::vector<std::uint16_t>> tables(8, std::vector<std::uint16_t>(4096, 100));
    tables[0][200] = 900;     // in the cell of rows 128-255 with an uncounted one
    tables[0][130] = 0xFFFF;  // no count
    tables[1].assign(4096, 0xFFFF);
    auto data = Titled({});
    data.grid = K14EraseCountPage(8, 8, tables, true).grid;
    data.grid.bad[3000 * 64 + 5] = true;  // row 3000, column 5
    HeatmapLayout layout;
    ASSERT_EQ(LayoutHeatmap(data, layout), "");
    EXPECT_GT(layout.group, 1u);
    EXPECT_GE(layout.cell, 4);
    EXPECT_LE(layout.width, 1920);
    EXPECT_LE(layout.height, 1300);
    const std::size_t cell_rows = (data.grid.blocks.size() + layout.group - 1) / layout.group;
    EXPECT_LE(cell_rows * data.Columns(), std::size_t{400000});

    const std::size_t per_list = 4096 / layout.group;
    EXPECT_EQ(CellColour(data, layout, 200 / layout.group, 3),
              ScaleColour(900, layout.low, layout.high));
    EXPECT_EQ(CellColour(data, layout, 3000 / layout.group, 5), kHeatmapBad);
    EXPECT_EQ(CellColour(data, layout, per_list + 1, 5), kHeatmapNoValue);
    test::ScopedTempDir dir;
    ASSERT_EQ(WriteHeatmapPng(data, dir.File("map.png")), "");
    const Png png(dir.File("map.png"));
    EXPECT_EQ(png.Centre(layout.Cell(3000 / layout.group, 5)), kHeatmapBad);
    EXPECT_GE(png.Ink(layout.group_label), 4);
    ASSERT_EQ(WriteHeatmapSvg(data, dir.File("map.svg")), "");
    const auto svg = test::ReadAll(dir.File("map.svg"));
    const std::string legend = "1 cell = " + std::to_string(layout.group) + " blocks";
    EXPECT_NE(std::string(svg.begin(), svg.end()).find(legend), std::string::npos);
}

}  // namespace
}  // namespace vt
