// The S.M.A.R.T. data and threshold sectors (the input, cut in two where its first byte says), with
// every name variant, the grid, the summary and the saved report.

#include <cstdint>
#include <span>

#include "report/smart_texts.h"

namespace {

volatile std::size_t sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    const std::size_t cut =
        std::size_t{data[0]} * 4 < rest.size() ? std::size_t{data[0]} * 4 : rest.size();
    const auto sector = rest.first(cut);
    const auto thresholds = rest.subspan(cut);
    const vt::SmartData smart = vt::DecodeSmartData(sector, thresholds);
    for (const auto variant : {vt::SmartVariantOf(sector), vt::SmartVariantOfFwInfo(thresholds),
                               vt::SmartNameVariant::Code11, vt::SmartNameVariant::Code3001}) {
        const auto rows = vt::SmartGridRows(smart, variant);
        sink = vt::SmartReportLines(rows).size();
    }
    sink = vt::SmartSummaryLines(smart).size() + vt::SmartGroupCaption(smart.revision).size();
    return 0;
}
