#include "report/heatmap.h"

// For a build without cairo: the pictures are refused, with the reason.

namespace vt {

std::string HeatmapUnavailable() {
    return "the erase-count pictures are drawn with cairo, which this build does not have";
}

bool WriteHeatmapPng(const HeatmapData&, const std::string&, std::string& error) {
    error = HeatmapUnavailable();
    return false;
}

bool WriteHeatmapSvg(const HeatmapData&, const std::string&, std::string& error) {
    error = HeatmapUnavailable();
    return false;
}

}  // namespace vt
