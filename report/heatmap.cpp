#include "report/heatmap.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <span>

#include "platform/files.h"
#include "platform/shared_library.h"

namespace vt {
namespace {

// cairo is loaded when a picture is first asked for, not linked: it brings pixman, X11, freetype
// and fontconfig with it, which every other command would map and start for nothing. Its headers
// still give the types and constants.
constexpr const char* kCairoLibrary = "libcairo.so.2";

// The cairo calls the drawing makes, each under its name without the "cairo_" prefix.
struct CairoCalls {
    decltype(&::cairo_create) create = nullptr;
    decltype(&::cairo_destroy) destroy = nullptr;
    decltype(&::cairo_status) status = nullptr;
    decltype(&::cairo_status_to_string) status_to_string = nullptr;
    decltype(&::cairo_image_surface_create) image_surface_create = nullptr;
    decltype(&::cairo_svg_surface_create_for_stream) svg_surface_create_for_stream = nullptr;
    decltype(&::cairo_surface_write_to_png_stream) surface_write_to_png_stream = nullptr;
    decltype(&::cairo_surface_finish) surface_finish = nullptr;
    decltype(&::cairo_surface_status) surface_status = nullptr;
    decltype(&::cairo_surface_destroy) surface_destroy = nullptr;
    decltype(&::cairo_set_antialias) set_antialias = nullptr;
    decltype(&::cairo_set_source_rgb) set_source_rgb = nullptr;
    decltype(&::cairo_rectangle) rectangle = nullptr;
    decltype(&::cairo_fill) fill = nullptr;
    decltype(&::cairo_select_font_face) select_font_face = nullptr;
    decltype(&::cairo_set_font_size) set_font_size = nullptr;
    decltype(&::cairo_text_extents) text_extents = nullptr;
    decltype(&::cairo_move_to) move_to = nullptr;
    decltype(&::cairo_show_text) show_text = nullptr;
};

// The library and its calls, resolved once; `failure` is empty when every call was found.
class LoadedCairo {
  public:
    LoadedCairo() : library_(kCairoLibrary) {
        if (!library_.Loaded()) {
            failure_ = std::string("cannot draw the picture: ") + kCairoLibrary +
                       " could not be loaded: " + library_.Failure();
            return;
        }
        Bind("cairo_create", calls_.create);
        Bind("cairo_destroy", calls_.destroy);
        Bind("cairo_status", calls_.status);
        Bind("cairo_status_to_string", calls_.status_to_string);
        Bind("cairo_image_surface_create", calls_.image_surface_create);
        Bind("cairo_svg_surface_create_for_stream", calls_.svg_surface_create_for_stream);
        Bind("cairo_surface_write_to_png_stream", calls_.surface_write_to_png_stream);
        Bind("cairo_surface_finish", calls_.surface_finish);
        Bind("cairo_surface_status", calls_.surface_status);
        Bind("cairo_surface_destroy", calls_.surface_destroy);
        Bind("cairo_set_antialias", calls_.set_antialias);
        Bind("cairo_set_source_rgb", calls_.set_source_rgb);
        Bind("cairo_rectangle", calls_.rectangle);
        Bind("cairo_fill", calls_.fill);
        Bind("cairo_select_font_face", calls_.select_font_face);
        Bind("cairo_set_font_size", calls_.set_font_size);
        Bind("cairo_text_extents", calls_.text_extents);
        Bind("cairo_move_to", calls_.move_to);
        Bind("cairo_show_text", calls_.show_text);
    }

    const CairoCalls& calls() const { return calls_; }
    const std::string& failure() const { return failure_; }

  private:
    template <typename Function>
    void Bind(const char* name, Function& call) {
        if (!failure_.empty()) return;
        void* const address = library_.Symbol(name);
        if (address == nullptr) {
            failure_ = std::string("cannot draw the picture: ") + kCairoLibrary + " lacks " + name;
            return;
        }
        call = reinterpret_cast<Function>(address);
    }

    platform::SharedLibrary library_;
    CairoCalls calls_;
    std::string failure_;
};

// Never unloaded: cairo keeps caches of fonts and surfaces for the process' life.
const LoadedCairo& LoadCairo() {
    static const LoadedCairo* const loaded = new LoadedCairo;
    return *loaded;
}

// The calls, for the drawing below, which runs only after CairoFailure() said they are there.
const CairoCalls& Cairo() {
    return LoadCairo().calls();
}

const std::string& CairoFailure() {
    return LoadCairo().failure();
}

constexpr const char* kFont = "DejaVu Sans";
constexpr double kTextSize = 12;
constexpr double kTitleSize = 16;
constexpr double kMargin = 16;
constexpr int kMaxMapWidth = 1400;
constexpr int kMaxMapHeight = 1100;
constexpr int kLargestSurface = 32000;  // cairo's image surfaces end at 32767 pixels a side
// Cells of one block each may be as small as this; cells of several blocks are drawn larger, since
// they already give up detail.
constexpr int kSmallestBlockCell = 2;
constexpr int kSmallestGroupCell = 4;
constexpr double kChannelGap = 2;
constexpr double kCeGap = 8;

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { Cairo().surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { Cairo().destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

void UseFont(cairo_t* cr, double size, bool bold = false) {
    Cairo().select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                             bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    Cairo().set_font_size(cr, size);
}

// Measures texts in the font the picture uses, before any surface of the picture's size exists.
class Measure {
  public:
    Measure()
        : surface_(Cairo().image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1)),
          cr_(Cairo().create(surface_.get())) {}
    double Width(const std::string& text, double size, bool bold = false) {
        UseFont(cr_.get(), size, bold);
        cairo_text_extents_t extents;
        Cairo().text_extents(cr_.get(), text.c_str(), &extents);
        return extents.x_advance;
    }

  private:
    Surface surface_;
    Context cr_;
};

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

std::string TitleOf(const HeatmapData& data) {
    std::string title = "Erase counts";
    if (!data.model.empty()) title += " of " + data.model;
    if (!data.serial.empty()) title += ", S/N " + data.serial;
    if (!data.date.empty()) title += ", " + data.date;
    return title;
}

// A box of a text of `width` starting at x, with its baseline at `baseline`.
Box TextBox(double x, double baseline, double width, double size) {
    return {x, baseline - size * 0.8, width, size};
}

void SetColour(cairo_t* cr, std::uint32_t colour) {
    Cairo().set_source_rgb(cr, (colour >> 16 & 0xFF) / 255.0, (colour >> 8 & 0xFF) / 255.0,
                           (colour & 0xFF) / 255.0);
}

void Fill(cairo_t* cr, const Box& box, std::uint32_t colour) {
    SetColour(cr, colour);
    Cairo().rectangle(cr, box.x, box.y, box.width, box.height);
    Cairo().fill(cr);
}

std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                // Drive strings are untrusted: control bytes have no place in XML.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out.push_back(c);
        }
    }
    return out;
}

// Texts go on the picture through cairo, or, for SVG, as text elements a viewer can search: cairo
// writes SVG text as glyph outlines.
class Writer {
  public:
    Writer(cairo_t* cr, bool svg_text) : cr_(cr), svg_text_(svg_text) {}

    void Text(const Box& box, const std::string& text, double size, bool bold = false) {
        const double baseline = box.y + size * 0.8;
        if (!svg_text_) {
            UseFont(cr_, size, bold);
            Cairo().set_source_rgb(cr_, 0, 0, 0);
            Cairo().move_to(cr_, box.x, baseline);
            Cairo().show_text(cr_, text.c_str());
            return;
        }
        char position[64];
        std::snprintf(position, sizeof position, "x=\"%.1f\" y=\"%.1f\"", box.x, baseline);
        svg_texts_ += std::string("<text ") + position + " font-size=\"" +
                      Number(std::lround(size)) + "\"" + (bold ? " font-weight=\"bold\"" : "") +
                      ">" + XmlEscaped(text) + "</text>\n";
    }
    const std::string& SvgTexts() const { return svg_texts_; }

  private:
    cairo_t* cr_;
    bool svg_text_;
    std::string svg_texts_;
};

std::string GroupText(std::size_t group) {
    return "1 cell = " + Number(group) + " blocks, the highest count";
}

void Draw(const HeatmapData& data, const HeatmapLayout& layout, cairo_t* cr, Writer& writer) {
    Fill(cr, {0, 0, double(layout.width), double(layout.height)}, 0xFFFFFF);
    Cairo().set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    // One path per colour: an SVG of the largest geometry holds a few hundred paths, not a quarter
    // of a million rectangles.
    std::map<std::uint32_t, std::vector<std::uint32_t>> by_colour;  // cell indexes, row by row
    const std::size_t columns = data.Columns();
    const std::size_t cell_rows = (data.grid.blocks.size() + layout.group - 1) / layout.group;
    for (std::size_t row = 0; row < cell_rows; ++row) {
        for (std::size_t column = 0; column < columns; ++column) {
            by_colour[CellColour(data, layout, row, column)].push_back(
                static_cast<std::uint32_t>(row * columns + column));
        }
    }
    for (const auto& [colour, cells] : by_colour) {
        for (const auto i : cells) {
            const Box cell = layout.Cell(i / columns, i % columns);
            Cairo().rectangle(cr, cell.x, cell.y, cell.width, cell.height);
        }
        SetColour(cr, colour);
        Cairo().fill(cr);
    }
    const Box& bar = layout.scale_bar;
    const int steps = std::max(1, static_cast<int>(bar.height));
    for (int i = 0; i < steps; ++i) {
        const double t = 1.0 - static_cast<double>(i) / std::max(1, steps - 1);
        Fill(cr, {bar.x, bar.y + i, bar.width, 1}, ScaleColour(t, 0, 1));
    }
    Fill(cr, layout.bad_swatch, kHeatmapBad);
    Fill(cr, layout.no_count_swatch, kHeatmapNoValue);
    Cairo().set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);

    writer.Text(layout.title, TitleOf(data), kTitleSize, true);
    for (std::size_t c = 0; c < data.Columns(); ++c)
        writer.Text(layout.channel_labels[c], Number(data.Channel(c)), kTextSize);
    std::size_t run = 0;
    for (std::size_t c = 0; c < data.Columns(); ++c) {
        if (c > 0 && data.Ce(c) == data.Ce(c - 1)) continue;
        writer.Text(layout.ce_labels[run++], "CE " + Number(data.Ce(c)), kTextSize);
    }
    for (std::size_t i = 0; i < layout.block_labels.size(); ++i)
        writer.Text(layout.block_labels[i], Number(data.grid.blocks[layout.block_label_rows[i]]),
                    kTextSize);
    writer.Text(layout.scale_high_label, Number(layout.high), kTextSize);
    writer.Text(layout.scale_low_label, Number(layout.low), kTextSize);
    writer.Text(layout.bad_label, "bad block", kTextSize);
    writer.Text(layout.no_count_label, "no count", kTextSize);
    if (layout.group > 1) writer.Text(layout.group_label, GroupText(layout.group), kTextSize);
    writer.Text(layout.channel_caption, "Channel", kTextSize);
    writer.Text(layout.ce_caption, "CE", kTextSize);
    writer.Text(layout.block_caption, "Block", kTextSize);
    writer.Text(layout.scale_caption, "Erase count", kTextSize);
}

// Passes cairo's SVG on to the file as it comes, holding back the end of the document, where the
// texts go in.
struct SvgSink {
    platform::ReplacementFile& file;
    std::string held;
};

cairo_status_t ToSink(void* closure, const unsigned char* data, unsigned int length) {
    auto& sink = *static_cast<SvgSink*>(closure);
    sink.held.append(reinterpret_cast<const char*>(data), length);
    constexpr std::size_t kKept = 64;  // "</svg>" and what follows it
    if (sink.held.size() >= 65536) {
        const std::size_t n = sink.held.size() - kKept;
        if (!sink.file.Write({reinterpret_cast<const std::uint8_t*>(sink.held.data()), n}))
            return CAIRO_STATUS_WRITE_ERROR;
        sink.held.erase(0, n);
    }
    return CAIRO_STATUS_SUCCESS;
}

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::string HeatmapUnavailable() {
    return CairoFailure();
}

Box HeatmapLayout::Cell(std::size_t cell_row, std::size_t column) const {
    return {column_left[column] + static_cast<double>(cell_row % fold * cell),
            map_top + static_cast<double>(cell_row / fold * cell), double(cell), double(cell)};
}

std::uint32_t CellColour(const HeatmapData& data, const HeatmapLayout& layout, std::size_t cell_row,
                         std::size_t column) {
    const std::size_t first = cell_row * layout.group;
    const std::size_t end = std::min(first + layout.group, data.grid.blocks.size());
    std::uint32_t highest = HeatmapData::kNoCount;
    for (std::size_t row = first; row < end; ++row) {
        if (data.Bad(row, column)) return kHeatmapBad;
        const std::uint32_t count = data.Count(row, column);
        if (count != HeatmapData::kNoCount && (highest == HeatmapData::kNoCount || count > highest))
            highest = count;
    }
    return highest == HeatmapData::kNoCount ? kHeatmapNoValue
                                            : ScaleColour(highest, layout.low, layout.high);
}

std::string LayoutHeatmap(const HeatmapData& data, HeatmapLayout& layout) {
    layout = {};
    const std::size_t columns = data.Columns();
    const std::size_t rows = data.grid.blocks.size();
    if (columns == 0 || rows == 0) return "no erase counts to draw";
    if (data.grid.counts.size() != rows * columns ||
        data.grid.bad.size() != data.grid.counts.size()) {
        return "the erase counts do not match their rows and columns";
    }
    // The texts are measured in the picture's font.
    if (!CairoFailure().empty()) return CairoFailure();
    std::size_t runs = 1;
    for (std::size_t c = 1; c < columns; ++c) runs += data.Ce(c) != data.Ce(c - 1);
    const double gaps =
        static_cast<double>(columns - runs) * kChannelGap + static_cast<double>(runs - 1) * kCeGap;
    auto map_width = [&](int cell, std::size_t fold) {
        return static_cast<double>(columns * fold * static_cast<std::size_t>(cell)) + gaps;
    };
    auto map_height = [&](int cell, std::size_t fold, std::size_t group) {
        const std::size_t cell_rows = (rows + group - 1) / group;
        return static_cast<double>((cell_rows + fold - 1) / fold * static_cast<std::size_t>(cell));
    };
    // The largest cells that fit, of as few blocks as can be, folded as little as they can be; a
    // strip stays wide enough for its channel number.
    bool fits = false;
    for (std::size_t group = 1; !fits; group *= 2) {
        const int smallest = group == 1 ? kSmallestBlockCell : kSmallestGroupCell;
        for (const int cell : {8, 6, 5, 4, 3, 2}) {
            for (std::size_t fold = 1; fold <= 4096 && !fits && cell >= smallest; fold *= 2) {
                if (fold * static_cast<std::size_t>(cell) < 12) continue;
                if (map_width(cell, fold) <= kMaxMapWidth &&
                    map_height(cell, fold, group) <= kMaxMapHeight) {
                    layout.cell = cell;
                    layout.fold = fold;
                    layout.group = group;
                    fits = true;
                }
            }
        }
        if (group >= rows) break;  // one cell a strip: more blocks a cell change nothing
    }
    if (!fits) {
        // Too many columns for the width: one pixel a cell, as many blocks a cell as the height
        // needs.
        layout.cell = 1;
        layout.fold = 16;
        layout.group = 1;
        while (map_height(1, layout.fold, layout.group) > kMaxMapHeight) layout.group *= 2;
    }

    layout.low = HeatmapData::kNoCount;
    for (std::size_t i = 0; i < data.grid.counts.size(); ++i) {
        if (data.grid.counts[i] == HeatmapData::kNoCount) continue;
        layout.low = std::min(layout.low, data.grid.counts[i]);
        layout.high = std::max(layout.high, data.grid.counts[i]);
    }
    if (layout.low > layout.high) layout.low = layout.high = 0;

    Measure measure;
    double number_width = 0;
    for (const auto block : {data.grid.blocks.front(), data.grid.blocks.back()})
        number_width = std::max(number_width, measure.Width(Number(block), kTextSize));
    const double axis_width =
        std::max({number_width + 10, measure.Width("Channel", kTextSize) + 4, 50.0});
    // Whole pixels, so that every block is the same square.
    const double map_left = std::ceil(kMargin + axis_width + 8);
    const double strip = static_cast<double>(layout.fold * static_cast<std::size_t>(layout.cell));

    layout.title = TextBox(kMargin, kMargin + kTitleSize * 0.8, 0, kTitleSize);
    layout.title.width = measure.Width(TitleOf(data), kTitleSize, true);
    const double ce_row = layout.title.y + kTitleSize + 14;
    const double channel_row = ce_row + kTextSize + 6;
    layout.map_top = channel_row + kTextSize + 8;

    double x = map_left;
    std::size_t run_start = 0;
    for (std::size_t c = 0; c < columns; ++c) {
        if (c > 0) x += data.Ce(c) != data.Ce(c - 1) ? kCeGap : kChannelGap;
        layout.column_left.push_back(x);
        const std::string channel = Number(data.Channel(c));
        const double w = measure.Width(channel, kTextSize);
        layout.channel_labels.push_back({x + (strip - w) / 2, channel_row, w, kTextSize});
        x += strip;
        const bool run_ends = c + 1 == columns || data.Ce(c + 1) != data.Ce(c);
        if (run_ends) {
            const std::string ce = "CE " + Number(data.Ce(c));
            const double w_ce = measure.Width(ce, kTextSize);
            const double left = layout.column_left[run_start];
            layout.ce_labels.push_back({left + (x - left - w_ce) / 2, ce_row, w_ce, kTextSize});
            run_start = c + 1;
        }
    }
    const double map_right = x;
    const double map_bottom = layout.map_top + map_height(layout.cell, layout.fold, layout.group);

    // Block numbers at line starts, at least 40 pixels apart, the first line always.
    const std::size_t blocks_a_line = layout.fold * layout.group;
    const std::size_t lines = (rows + blocks_a_line - 1) / blocks_a_line;
    const std::size_t every =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(40.0 / layout.cell)));
    std::size_t step = 1;
    while (step < every) step *= 2;
    for (std::size_t line = 0; line < lines; line += step) {
        const double w = measure.Width(Number(data.grid.blocks[line * blocks_a_line]), kTextSize);
        const double y = layout.map_top + static_cast<double>(line * layout.cell);
        layout.block_labels.push_back(
            {map_left - 8 - w, y - kTextSize * 0.5 + layout.cell * 0.5, w, kTextSize});
        layout.block_label_rows.push_back(line * blocks_a_line);
    }

    const double legend_left = map_right + 24;
    const double bar_height = std::clamp(map_bottom - layout.map_top - 120, 60.0, 300.0);
    layout.scale_bar = {legend_left, layout.map_top + kTextSize + 14, 18, bar_height};
    const Box& bar = layout.scale_bar;
    const std::string high = Number(layout.high), low = Number(layout.low);
    layout.scale_high_label = {bar.x + bar.width + 6, bar.y, measure.Width(high, kTextSize),
                               kTextSize};
    layout.scale_low_label = {bar.x + bar.width + 6, bar.y + bar.height - kTextSize,
                              measure.Width(low, kTextSize), kTextSize};
    layout.bad_swatch = {legend_left, bar.y + bar.height + 20, 14, 14};
    layout.bad_label = {legend_left + 20, layout.bad_swatch.y + 1,
                        measure.Width("bad block", kTextSize), kTextSize};
    layout.no_count_swatch = {legend_left, layout.bad_swatch.y + 24, 14, 14};
    layout.no_count_label = {legend_left + 20, layout.no_count_swatch.y + 1,
                             measure.Width("no count", kTextSize), kTextSize};
    if (layout.group > 1) {
        layout.group_label = {legend_left, layout.no_count_swatch.y + 24,
                              measure.Width(GroupText(layout.group), kTextSize), kTextSize};
    }
    const double legend_right = std::max({layout.scale_high_label.x + layout.scale_high_label.width,
                                          layout.scale_low_label.x + layout.scale_low_label.width,
                                          layout.bad_label.x + layout.bad_label.width,
                                          layout.no_count_label.x + layout.no_count_label.width,
                                          layout.group_label.x + layout.group_label.width,
                                          legend_left + measure.Width("Erase count", kTextSize)});
    layout.ce_caption = {kMargin, ce_row, measure.Width("CE", kTextSize), kTextSize};
    layout.channel_caption = {kMargin, channel_row, measure.Width("Channel", kTextSize), kTextSize};
    layout.block_caption = {kMargin, map_bottom + 6, measure.Width("Block", kTextSize), kTextSize};
    layout.scale_caption = {legend_left, bar.y - kTextSize - 8,
                            measure.Width("Erase count", kTextSize), kTextSize};
    const double right = std::max(legend_right, layout.title.x + layout.title.width) + kMargin;
    const double bottom =
        std::max({layout.block_caption.y + kTextSize, layout.no_count_swatch.y + 14,
                  layout.group_label.y + layout.group_label.height}) +
        kMargin;
    if (right > kLargestSurface || bottom > kLargestSurface)
        return "too many erase count columns to draw";
    layout.width = static_cast<int>(std::ceil(right));
    layout.height = static_cast<int>(std::ceil(bottom));
    return {};
}

std::uint32_t ScaleColour(double count, double low, double high) {
    const double t = high > low ? std::clamp((count - low) / (high - low), 0.0, 1.0) : 0.0;
    // Blue -> cyan -> green -> yellow -> red, in four equal steps.
    constexpr std::array<std::array<double, 3>, 5> stops = {
        {{0, 0, 255}, {0, 255, 255}, {0, 255, 0}, {255, 255, 0}, {255, 0, 0}}};
    const double position = t * 4.0;
    const auto index = std::min<std::size_t>(static_cast<std::size_t>(position), 3);
    const double f = position - static_cast<double>(index);
    std::uint32_t colour = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        const double v = stops[index][c] + (stops[index + 1][c] - stops[index][c]) * f;
        colour = colour << 8 | static_cast<std::uint32_t>(std::lround(v));
    }
    return colour;
}

std::string WriteHeatmapPng(const HeatmapData& data, const std::string& path) {
    HeatmapLayout layout;
    if (std::string error = LayoutHeatmap(data, layout); !error.empty()) return error;
    Surface surface(Cairo().image_surface_create(CAIRO_FORMAT_RGB24, layout.width, layout.height));
    {
        Context cr(Cairo().create(surface.get()));
        Writer writer(cr.get(), false);
        Draw(data, layout, cr.get(), writer);
        if (Cairo().status(cr.get()) != CAIRO_STATUS_SUCCESS) {
            return std::string("cannot draw the heat map: ") +
                   Cairo().status_to_string(Cairo().status(cr.get()));
        }
    }
    std::vector<std::uint8_t> png;
    const auto status = Cairo().surface_write_to_png_stream(surface.get(), AppendBytes, &png);
    if (status != CAIRO_STATUS_SUCCESS)
        return std::string("cannot encode the heat map: ") + Cairo().status_to_string(status);
    std::string error;
    if (!platform::ReplaceFile(path, png, error, platform::OutputTarget::FileOrStream))
        return error;
    return {};
}

std::string WriteHeatmapSvg(const HeatmapData& data, const std::string& path) {
    HeatmapLayout layout;
    if (std::string error = LayoutHeatmap(data, layout); !error.empty()) return error;
    platform::ReplacementFile file(path, platform::OutputTarget::FileOrStream);
    if (!file.IsOpen()) return file.error();
    SvgSink sink{file, {}};
    std::string texts;
    {
        Surface surface(
            Cairo().svg_surface_create_for_stream(ToSink, &sink, layout.width, layout.height));
        Context cr(Cairo().create(surface.get()));
        Writer writer(cr.get(), true);
        Draw(data, layout, cr.get(), writer);
        texts = writer.SvgTexts();
        Cairo().surface_finish(surface.get());
        if (Cairo().surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
            return !file.error().empty()
                       ? file.error()
                       : std::string("cannot draw the heat map: ") +
                             Cairo().status_to_string(Cairo().surface_status(surface.get()));
        }
    }
    const auto at = sink.held.rfind("</svg>");
    if (at == std::string::npos)
        return "cannot draw the heat map: the SVG surface wrote no document";
    sink.held.insert(at, std::string("<g font-family=\"") + kFont +
                             ", sans-serif\" fill=\"#000\">\n" + texts + "</g>\n");
    if (!file.Write({reinterpret_cast<const std::uint8_t*>(sink.held.data()), sink.held.size()}) ||
        !file.Commit()) {
        return file.error();
    }
    return {};
}

}  // namespace vt
