#pragma once
// A picture of a drive's erase counts: one pixel row per block, one band per channel and CE, bad
// blocks marked, and a colour scale with its lowest and highest count.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace vt::cli {

inline constexpr int kHeatmapBandWidth = 12;
inline constexpr int kHeatmapGap = 2;
inline constexpr std::uint32_t kHeatmapBad = 0xFF00FF;      // magenta
inline constexpr std::uint32_t kHeatmapNoValue = 0x808080;  // grey

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0xRRGGBB, row by row
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The colour of a count on the scale from `low` to `high` (blue, cyan, green, yellow, red).
std::uint32_t ScaleColour(double count, double low, double high);
// Draws the erase count data as `vtutil erase-count --json` gives it ("blocks" with "counts" and
// "bad_columns").
Image DrawEraseCountHeatmap(const nlohmann::ordered_json& data);
// An 8-bit RGB PNG.
std::vector<std::uint8_t> EncodePng(const Image& image);
bool WriteEraseCountHeatmap(const nlohmann::ordered_json& data, const std::string& path,
                            std::string& error);

}  // namespace vt::cli
