#include "cli/heatmap.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/files.h"

namespace vt::cli {
namespace {

constexpr int kLegendWidth = 40;
constexpr int kMinHeight = 64;

// Digits 0-9 in a 3 x 5 pixel font, one row of three bits per entry, top row first.
constexpr std::array<std::array<std::uint8_t, 5>, 10> kDigits = {{
    {7, 5, 5, 5, 7},
    {2, 6, 2, 2, 7},
    {7, 1, 7, 4, 7},
    {7, 1, 7, 1, 7},
    {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7},
    {7, 1, 1, 1, 1},
    {7, 5, 7, 5, 7},
    {7, 5, 7, 1, 7},
}};

void Put(Image& image, int x, int y, std::uint32_t colour) {
    if (x >= 0 && y >= 0 && x < image.width && y < image.height) {
        image.pixels[static_cast<std::size_t>(y) * image.width + x] = colour;
    }
}

void DrawNumber(Image& image, int x, int y, long long value) {
    const std::string text = std::to_string(value);
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            const auto& glyph = kDigits[static_cast<std::size_t>(c - '0')];
            for (int row = 0; row < 5; ++row) {
                for (int col = 0; col < 3; ++col) {
                    if (glyph[row] & (4 >> col)) Put(image, x + col, y + row, 0x000000);
                }
            }
        }
        x += 4;
    }
}

void AppendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void AppendChunk(std::vector<std::uint8_t>& out, const char* type,
                 const std::vector<std::uint8_t>& data) {
    AppendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const auto crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    AppendBigEndian(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

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

Image DrawEraseCountHeatmap(const nlohmann::ordered_json& data) {
    const auto& blocks = data.at("blocks");
    const std::size_t columns = data.at("columns").size();
    double low = std::numeric_limits<double>::max(), high = 0;
    for (const auto& block : blocks) {
        for (const auto& count : block.at("counts")) {
            if (count.is_number()) {
                low = std::min(low, count.get<double>());
                high = std::max(high, count.get<double>());
            }
        }
    }
    if (low > high) low = high = 0;
    Image image;
    const int bands = static_cast<int>(columns) * (kHeatmapBandWidth + kHeatmapGap);
    image.width = bands + kLegendWidth;
    image.height = std::max<int>(kMinHeight, static_cast<int>(blocks.size()));
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 0xFFFFFF);
    for (std::size_t y = 0; y < blocks.size(); ++y) {
        const auto& counts = blocks[y].at("counts");
        std::vector<bool> bad(columns, false);
        for (const auto& c : blocks[y].at("bad_columns")) {
            if (c.get<std::size_t>() < columns) bad[c.get<std::size_t>()] = true;
        }
        for (std::size_t c = 0; c < columns; ++c) {
            std::uint32_t colour = kHeatmapNoValue;
            if (bad[c]) {
                colour = kHeatmapBad;
            } else if (c < counts.size() && counts[c].is_number()) {
                colour = ScaleColour(counts[c].get<double>(), low, high);
            }
            const int x0 = static_cast<int>(c) * (kHeatmapBandWidth + kHeatmapGap);
            for (int x = 0; x < kHeatmapBandWidth; ++x)
                Put(image, x0 + x, static_cast<int>(y), colour);
        }
    }
    // The scale: highest count at the top, lowest at the bottom, each labelled.
    const int bar_x = bands + 4, bar_top = 8, bar_bottom = image.height - 8;
    for (int y = bar_top; y < bar_bottom; ++y) {
        const double t =
            1.0 - static_cast<double>(y - bar_top) / std::max(1, bar_bottom - bar_top - 1);
        const auto colour = ScaleColour(low + t * (high - low), low, high);
        for (int x = 0; x < 8; ++x) Put(image, bar_x + x, y, colour);
    }
    DrawNumber(image, bar_x + 10, bar_top, std::llround(high));
    DrawNumber(image, bar_x + 10, bar_bottom - 5, std::llround(low));
    return image;
}

std::vector<std::uint8_t> EncodePng(const Image& image) {
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(image.height) * (1 + 3 * image.width));
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < image.width; ++x) {
            const auto p = image.At(x, y);
            raw.push_back(static_cast<std::uint8_t>(p >> 16));
            raw.push_back(static_cast<std::uint8_t>(p >> 8));
            raw.push_back(static_cast<std::uint8_t>(p));
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> compressed(size);
    compress2(compressed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 6);
    compressed.resize(size);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    AppendBigEndian(header, static_cast<std::uint32_t>(image.width));
    AppendBigEndian(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter, no interlace
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", compressed);
    AppendChunk(png, "IEND", {});
    return png;
}

bool WriteEraseCountHeatmap(const nlohmann::ordered_json& data, const std::string& path,
                            std::string& error) {
    if (data.at("blocks").empty()) {
        error = "no erase counts to draw";
        return false;
    }
    return platform::ReplaceFile(path, EncodePng(DrawEraseCountHeatmap(data)), error);
}

}  // namespace vt::cli
