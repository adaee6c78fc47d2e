#pragma once
// The controller's table pages (defect, early bad, remap, later-bad, system page) and bad-unit
// lists: their signatures, record formats and one walker per format. Every walker stays inside the
// bytes it is given: a page without its end record ends at the page's end, and a count larger than
// its page is cut to the entries the page holds.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

#include "vendor/system_info.h"

namespace vt {

inline constexpr std::size_t kPageSignatureSize = 16;

enum class PageKind { Defect, EarlyBad, LaterBad, Remap, System };

std::array<std::uint8_t, kPageSignatureSize> PageSignature(PageKind kind);
bool HasPageSignature(std::span<const std::uint8_t> page, PageKind kind);

// SectorsPerPage x 512.
std::size_t PageSizeOf(const SystemInfoRecord& info);
// Channel c's page of a table buffer: empty when the page size is 0 or the page does not lie
// wholly inside the buffer.
std::span<const std::uint8_t> ChannelPage(std::span<const std::uint8_t> table, unsigned channel,
                                          std::size_t page_size);

// How a walk ended.
enum class WalkEnd {
    EndRecord,    // the page's end record (or, for lists, the last entry of the count)
    PageEnd,      // no whole record left in the bytes
    Stopped,      // the visitor asked to stop
    NoSignature,  // the page does not start with its signature; nothing visited
};

// Visitors return void, or bool where false stops the walk.
namespace detail {
template <typename Visit, typename Record>
bool Continue(Visit& visit, const Record& record) {
    if constexpr (std::is_void_v<std::invoke_result_t<Visit&, const Record&>>) {
        visit(record);
        return true;
    } else {
        return static_cast<bool>(visit(record));
    }
}
}  // namespace detail

enum class Step { Next, End, Stop };

// Fixed-size records from `first` on, until `step` answers End or Stop or no whole record remains.
template <typename StepFn>
WalkEnd WalkRecords(std::span<const std::uint8_t> bytes, std::size_t first, std::size_t record_size,
                    StepFn&& step) {
    for (std::size_t at = first; at <= bytes.size() && record_size <= bytes.size() - at;
         at += record_size) {
        switch (step(bytes.subspan(at, record_size))) {
            case Step::Next:
                break;
            case Step::End:
                return WalkEnd::EndRecord;
            case Step::Stop:
                return WalkEnd::Stopped;
        }
    }
    return WalkEnd::PageEnd;
}

// --- Defect table page: 4-byte records (16-bit value, byte 2, byte 3 not used). ---
inline constexpr std::uint16_t kDefectEnd = 0xD1FE;
inline constexpr std::uint16_t kDefectCeMarker = 0xA0FB;

// Which block of a unit a defect record names (low nibble of byte 2).
enum class DefectHalf { Odd, Even, Both };

struct DefectRecord {
    bool ce_marker = false;   // the following records belong to CE index `ce`
    std::uint16_t value = 0;  // unit number, or block number when TableFlags bit 2 is set
    std::uint8_t detail = 0;  // byte 2
    unsigned ce = 0;          // the current CE index (the new one for a marker)
    DefectHalf Half() const {
        switch (detail & 0x0F) {
            case 0:
                return DefectHalf::Odd;
            case 1:
                return DefectHalf::Even;
            default:
                return DefectHalf::Both;
        }
    }
};

template <typename Visit>
WalkEnd WalkDefectPage(std::span<const std::uint8_t> page, Visit&& visit) {
    if (!HasPageSignature(page, PageKind::Defect)) return WalkEnd::NoSignature;
    unsigned ce = 0;
    return WalkRecords(page, kPageSignatureSize, 4, [&](std::span<const std::uint8_t> r) {
        DefectRecord record;
        record.value = static_cast<std::uint16_t>(r[0] | r[1] << 8);
        record.detail = r[2];
        if (record.value == kDefectEnd) return Step::End;
        if (record.value == kDefectCeMarker) {
            record.ce_marker = true;
            ce = r[2];
        }
        record.ce = ce;
        return detail::Continue(visit, record) ? Step::Next : Step::Stop;
    });
}

// --- Early bad table page: 16-bit words. ---
struct EarlyRecord {
    bool ce_marker = false;  // FB00h-FBFFh: the following words belong to CE index `ce`
    std::uint16_t unit = 0;  // bits 0-14 of a unit word
    unsigned ce = 0;
};

template <typename Visit>
WalkEnd WalkEarlyPage(std::span<const std::uint8_t> page, Visit&& visit) {
    if (!HasPageSignature(page, PageKind::EarlyBad)) return WalkEnd::NoSignature;
    unsigned ce = 0;
    return WalkRecords(page, kPageSignatureSize, 2, [&](std::span<const std::uint8_t> r) {
        const auto word = static_cast<std::uint16_t>(r[0] | r[1] << 8);
        if ((word & 0xFF00) == 0xFE00) return Step::End;
        EarlyRecord record;
        if ((word & 0xFF00) == 0xFB00) {
            record.ce_marker = true;
            ce = word & 0xFF;
        } else {
            record.unit = word & 0x7FFF;
        }
        record.ce = ce;
        return detail::Continue(visit, record) ? Step::Next : Step::Stop;
    });
}

// --- Remap table page: records of two 16-bit values (a, b). ---
inline constexpr std::uint16_t kRemapCeMarker = 0xEBA0;
inline constexpr std::uint16_t kRemapPlaneMarker = 0xEAE0;
inline constexpr std::uint16_t kRemapIgnored = 0xEDE0;
inline constexpr std::uint16_t kRemapEnd = 0xEED1;
inline constexpr std::uint16_t kRemapEmpty = 0xFFFF;

// Only remap records reach the visitor; CE and plane markers set `ce` and `plane`.
struct RemapRecord {
    std::uint16_t bad = 0;    // a: the bad unit (FFFFh: an empty record)
    std::uint16_t spare = 0;  // b: the unit it is remapped to
    unsigned ce = 0;
    unsigned plane = 0;
    bool Empty() const { return bad == kRemapEmpty; }
};

template <typename Visit>
WalkEnd WalkRemapPage(std::span<const std::uint8_t> page, Visit&& visit) {
    if (!HasPageSignature(page, PageKind::Remap)) return WalkEnd::NoSignature;
    unsigned ce = 0;
    unsigned plane = 0;
    return WalkRecords(page, kPageSignatureSize, 4, [&](std::span<const std::uint8_t> r) {
        const auto a = static_cast<std::uint16_t>(r[0] | r[1] << 8);
        const auto b = static_cast<std::uint16_t>(r[2] | r[3] << 8);
        switch (a) {
            case kRemapEnd:
                return Step::End;
            case kRemapCeMarker:
                ce = b;
                return Step::Next;
            case kRemapPlaneMarker:
                plane = b;
                return Step::Next;
            case kRemapIgnored:
                return Step::Next;
            default:
                break;
        }
        const RemapRecord record{a, b, ce, plane};
        return detail::Continue(visit, record) ? Step::Next : Step::Stop;
    });
}

// --- Later-bad table page: count at 16, 4-byte entries from 32 (unit, error type, unused). ---
inline constexpr std::size_t kLaterBadCountOffset = 16;
inline constexpr std::size_t kLaterBadEntriesOffset = 32;

inline constexpr std::uint8_t kErrTypeEccOver = 1;
inline constexpr std::uint8_t kErrTypeProgFail = 3;
inline constexpr std::uint8_t kErrTypeEraseFail = 4;
inline constexpr std::uint8_t kErrTypeEccFail = 5;
inline constexpr std::uint8_t kErrTypeEarlyBad = 9;  // found in the early bad table
inline constexpr std::uint8_t kErrTypeUnknown = 99;  // no later-bad entry names the unit

// "Ecc Over", "Prog Fail", "Erase Fail", "Ecc Fail"; empty for the other types.
std::string_view ErrorTypeName(unsigned type);

struct LaterBadEntry {
    std::uint16_t unit = 0;
    std::uint8_t type = 0;
};

// Walks the first `count` entries that fit in the list, from `first`, `size` bytes each.
template <typename Visit, typename Decode>
WalkEnd WalkCountedEntries(std::span<const std::uint8_t> bytes, std::size_t first, std::size_t size,
                           std::size_t count, Decode&& decode, Visit&& visit) {
    std::size_t seen = 0;
    if (count == 0) return WalkEnd::EndRecord;
    return WalkRecords(bytes, first, size, [&](std::span<const std::uint8_t> r) {
        if (!detail::Continue(visit, decode(r))) return Step::Stop;
        return ++seen == count ? Step::End : Step::Next;
    });
}

template <typename Visit>
WalkEnd WalkLaterBadPage(std::span<const std::uint8_t> page, Visit&& visit) {
    if (!HasPageSignature(page, PageKind::LaterBad)) return WalkEnd::NoSignature;
    if (page.size() < kLaterBadCountOffset + 2) return WalkEnd::PageEnd;
    const std::size_t count = page[kLaterBadCountOffset] | page[kLaterBadCountOffset + 1] << 8;
    return WalkCountedEntries(
        page, kLaterBadEntriesOffset, 4, count,
        [](std::span<const std::uint8_t> r) {
            return LaterBadEntry{static_cast<std::uint16_t>(r[0] | r[1] << 8), r[2]};
        },
        visit);
}

// The error type of the first entry naming the unit; none when the page is not valid or no entry
// names it.
std::optional<std::uint8_t> LaterBadTypeOf(std::span<const std::uint8_t> page, std::uint16_t unit);

// --- Bad-unit lists (answers of the bad block table read, no signature). ---
// Per channel and CE index: count at 4, 4-byte entries from 8 (unit, two unused bytes).
template <typename Visit>
WalkEnd WalkBadUnitList(std::span<const std::uint8_t> list, Visit&& visit) {
    if (list.size() < 8) return WalkEnd::PageEnd;
    const std::size_t count = list[4] | list[5] << 8;
    return WalkCountedEntries(
        list, 8, 4, count,
        [](std::span<const std::uint8_t> r) {
            return static_cast<std::uint16_t>(r[0] | r[1] << 8);
        },
        visit);
}

// Model K12 keeps one list for the whole drive: count at 0, entries from 4, unit big-endian,
// error type, then channel masks: one per bank 0-3 (7-byte form, FwInfo bytes 7-8 "00") or one per
// CE index 0-15 (19-byte form).
enum class K12ListForm { PerBank, PerCe };
K12ListForm K12ListFormOf(const SystemInfoRecord& info);

struct K12BadUnit {
    std::uint16_t unit = 0;
    std::uint8_t type = 0;
    std::span<const std::uint8_t> masks;  // 4 or 16 bytes: bit c set, bad on channel c
    bool BadOn(unsigned ce, unsigned channel) const {
        return ce < masks.size() && channel < 8 && ((masks[ce] >> channel) & 1);
    }
};

template <typename Visit>
WalkEnd WalkK12BadUnitList(std::span<const std::uint8_t> list, K12ListForm form, Visit&& visit) {
    if (list.size() < 4) return WalkEnd::PageEnd;
    const std::size_t count = list[0] | list[1] << 8;
    const std::size_t masks = form == K12ListForm::PerBank ? 4 : 16;
    return WalkCountedEntries(
        list, 4, 3 + masks, count,
        [masks](std::span<const std::uint8_t> r) {
            return K12BadUnit{static_cast<std::uint16_t>(r[0] << 8 | r[1]), r[2],
                              r.subspan(3, masks)};
        },
        visit);
}

}  // namespace vt
