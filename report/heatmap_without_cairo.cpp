#include "report/heatmap.h"

// For a build without cairo: the pictures are refused, with the reason.

namespace vt {

std::string HeatmapUnavailable() {
    return "the erase-count pictures are drawn with cairo, which this build does not have";
}

std::string WriteHeatmapPng(const HeatmapData&, const std::string&) {
    return HeatmapUnavailable();
}

std::string WriteHeatmapSvg(const HeatmapData&, const std::string&) {
    return HeatmapUnavailable();
}

}  // namespace vt
