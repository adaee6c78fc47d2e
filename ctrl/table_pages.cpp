#include "ctrl/table_pages.h"

#include <algorithm>

namespace vt {
namespace {

constexpr char kSignatureText[] = "VTFK3X-V001";  // the 11 characters after the marker bytes

constexpr std::array<std::uint8_t, 4> MarkerOf(PageKind kind) {
    switch (kind) {
        case PageKind::Defect:
            return {0xE9, 0x86, 0xAA, 0x55};
        case PageKind::EarlyBad:
            return {0x45, 0x79, 0xAA, 0x55};
        case PageKind::LaterBad:
            return {0xE8, 0xDC, 0x55, 0xAA};
        case PageKind::Remap:
            return {0x9E, 0x68, 0x55, 0xAA};
        case PageKind::System:
            return {'S', 'Y', 'S', 'P'};
    }
    return {};
}

}  // namespace

std::array<std::uint8_t, kPageSignatureSize> PageSignature(PageKind kind) {
    std::array<std::uint8_t, kPageSignatureSize> s{};
    const auto marker = MarkerOf(kind);
    std::copy(marker.begin(), marker.end(), s.begin());
    std::copy_n(kSignatureText, 11, s.begin() + 4);
    return s;  // byte 15 stays the terminating zero
}

bool HasPageSignature(std::span<const std::uint8_t> page, PageKind kind) {
    const auto signature = PageSignature(kind);
    return page.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), page.begin());
}

std::size_t PageSizeOf(const SystemInfoRecord& info) {
    return std::size_t{info.SectorsPerPage} * 512;
}

std::span<const std::uint8_t> ChannelPage(std::span<const std::uint8_t> table, unsigned channel,
                                          std::size_t page_size) {
    if (page_size == 0) return {};
    const std::size_t pages = table.size() / page_size;
    if (channel >= pages) return {};
    return table.subspan(channel * page_size, page_size);
}

std::string_view ErrorTypeName(unsigned type) {
    switch (type) {
        case kErrTypeEccOver:
            return "Ecc Over";
        case kErrTypeProgFail:
            return "Prog Fail";
        case kErrTypeEraseFail:
            return "Erase Fail";
        case kErrTypeEccFail:
            return "Ecc Fail";
        default:
            return {};
    }
}

std::optional<std::uint8_t> LaterBadTypeOf(std::span<const std::uint8_t> page, std::uint16_t unit) {
    std::optional<std::uint8_t> type;
    WalkLaterBadPage(page, [&](const LaterBadEntry& e) {
        if (e.unit != unit) return true;
        type = e.type;
        return false;
    });
    return type;
}

K12ListForm K12ListFormOf(const SystemInfoRecord& info) {
    return info.FwInfo[7] == '0' && info.FwInfo[8] == '0' ? K12ListForm::PerBank
                                                          : K12ListForm::PerCe;
}

}  // namespace vt
