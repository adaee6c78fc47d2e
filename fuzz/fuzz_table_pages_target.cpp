// The table pages: defect, early bad, remap and later-bad, walked from arbitrary bytes. The first
// byte picks the page kind; with its high bit set the page gets its signature, so the walk runs.

#include <cstdint>
#include <span>
#include <vector>

#include "ctrl/table_pages.h"

namespace {

volatile unsigned sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t pick = data[0];
    std::vector<std::uint8_t> page(data + 1, data + size);
    constexpr vt::PageKind kinds[] = {vt::PageKind::Defect, vt::PageKind::EarlyBad,
                                      vt::PageKind::Remap, vt::PageKind::LaterBad,
                                      vt::PageKind::System};
    const vt::PageKind kind = kinds[(pick & 0x7F) % 5];
    if (pick & 0x80) {
        const auto signature = vt::PageSignature(kind);
        for (std::size_t i = 0; i < signature.size() && i < page.size(); ++i)
            page[i] = signature[i];
    }
    const std::span<const std::uint8_t> bytes(page);
    unsigned seen = 0;
    // A visitor that stops part way, as the callers that look for one unit do.
    const unsigned stop_after = (pick >> 3) & 0x0F;
    switch (kind) {
        case vt::PageKind::Defect:
            vt::WalkDefectPage(bytes, [&](const vt::DefectRecord& r) {
                sink = r.value + r.ce + static_cast<unsigned>(r.Half());
                return stop_after == 0 || ++seen < stop_after;
            });
            break;
        case vt::PageKind::EarlyBad:
            vt::WalkEarlyPage(bytes, [&](const vt::EarlyRecord& r) { sink = r.unit + r.ce; });
            break;
        case vt::PageKind::Remap:
            vt::WalkRemapPage(bytes, [&](const vt::RemapRecord& r) {
                sink = r.bad + r.spare + r.ce + r.plane + r.Empty();
            });
            break;
        case vt::PageKind::LaterBad:
            vt::WalkLaterBadPage(bytes, [&](const vt::LaterBadEntry& e) {
                sink = e.unit + static_cast<unsigned>(vt::ErrorTypeName(e.type).size());
                return stop_after == 0 || ++seen < stop_after;
            });
            if (bytes.size() >= 34) {
                const auto unit = static_cast<std::uint16_t>(bytes[32] | bytes[33] << 8);
                sink = vt::LaterBadTypeOf(bytes, unit).value_or(0);
            }
            break;
        case vt::PageKind::System:
            sink = vt::HasPageSignature(bytes, kind);
            break;
    }
    // The page of a channel inside a table of these bytes, for page sizes the drive might claim.
    for (const std::size_t page_size :
         {std::size_t{0}, std::size_t{512}, std::size_t{pick} * 512}) {
        sink = static_cast<unsigned>(vt::ChannelPage(bytes, pick & 7, page_size).size());
    }
    return 0;
}
