#include "pages/bad_block_detail.h"

#include <algorithm>

#include "access/mode_flags.h"
#include "access/raw_dump.h"
#include "ctrl/defect_tables.h"
#include "ctrl/device_buffers.h"
#include "ctrl/read_system_info.h"
#include "ctrl/table_pages.h"
#include "pages/text_format.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

constexpr unsigned kUnitListSectors = 64;
constexpr std::size_t kUnitListBytes = kUnitListSectors * 512;
constexpr std::size_t kDefectDumpBytes = 65536;
constexpr const char* kSectionRule = "----------------------------------------\r\n";

std::span<const std::uint8_t> Prefix(std::span<const std::uint8_t> bytes, std::size_t size) {
    return bytes.first(std::min(bytes.size(), size));
}

class DetailBuilder {
  public:
    DetailBuilder(const SystemInfoRecord& info, const BadBlockSources& sources,
                  BadBlockMarks* marks)
        : info_(info),
          sources_(sources),
          marks_(marks),
          channels_(info.ChannelCount),
          banks_(info.BankCount),
          ces_(static_cast<std::uint8_t>(info.BankCount * info.DiesPerCe)),
          unit_offset_(info.TableUnitsPerDie ? info.TableUnitsPerDie : info.UnitsPerDie),
          block_mode_(info.TableFlags & 0x04),
          page_size_(PageSizeOf(info)),
          unit_word_(block_mode_ ? "Block" : "BlockU"),
          areas_(std::size_t{channels_} * banks_),
          area_entries_(areas_.size()) {
        detail_.counts = BadBlockCounts(channels_, std::max(banks_, ces_));
    }

    BadBlockDetail Build(bool remap_relation) {
        detail_.text +=
            "ErrType 1 (Ecc Over)\r\nErrType 3 (Prog Fail)\r\n"
            "ErrType 4 (Erase Fail)\r\nErrType 5 (Ecc Fail)\r\n";
        if (ControllerModel(info_) == "K12") {
            K12Sections();
        } else {
            UnitListSection();
        }
        PhysicalSection();
        if (remap_relation) RemapRelationSection();
        for (std::size_t k = 0; k < kBadBlockColumns; ++k) {
            for (unsigned c = 0; c < channels_; ++c) {
                for (unsigned e = 0; e < banks_; ++e)
                    detail_.totals[k] += detail_.counts.At(c, e, k);
            }
        }
        return std::move(detail_);
    }

  private:
    // CE indexes of later dies fold onto the banks; with no banks there is no place to file at.
    unsigned Bank(unsigned ce) const { return banks_ ? ce % banks_ : ce; }
    std::uint32_t Offset(unsigned ce, std::uint32_t value) const {
        return ce >= banks_ ? value + unit_offset_ : value;
    }

    std::string* Area(unsigned channel, unsigned bank) {
        if (channel >= channels_ || bank >= banks_) return nullptr;
        return &areas_[std::size_t{channel} * banks_ + bank];
    }
    void AreaEntry(BadBlockEntry entry) {
        if (entry.channel >= channels_ || entry.ce >= banks_) return;
        area_entries_[std::size_t{entry.channel} * banks_ + entry.ce].push_back(entry);
    }
    static BadBlockEntry Entry(BadBlockEntry::Kind kind, unsigned channel, unsigned bank,
                               std::uint32_t block) {
        BadBlockEntry entry;
        entry.kind = kind;
        entry.channel = channel;
        entry.ce = bank;
        entry.block = block;
        return entry;
    }
    template <typename... Args>
    void AreaLine(unsigned channel, unsigned bank, const char* format, Args... args) {
        if (std::string* area = Area(channel, bank)) AppendF(*area, format, args...);
    }
    void Flush() {
        for (auto& area : areas_) {
            detail_.text += area;
            area.clear();
        }
        for (auto& entries : area_entries_) {
            detail_.entries.insert(detail_.entries.end(), entries.begin(), entries.end());
            entries.clear();
        }
    }

    std::span<const std::uint8_t> Page(std::span<const std::uint8_t> table, unsigned c) const {
        return ChannelPage(table, c, page_size_);
    }
    std::span<const std::uint8_t> LaterBadPage(unsigned x, unsigned c) const {
        const std::size_t slot = 2 * std::size_t{x} + (banks_ ? x / banks_ : 0);
        if (slot >= kLaterBadSlots || !sources_.later_bad) return {};
        const auto table = sources_.later_bad(slot);
        if (table.size() < kTablePageBufferSize) return {};
        return Page(table.first(kTablePageBufferSize), c);
    }

    void DumpDefectTable() const {
        DumpRawFile("defect.raw", Prefix(sources_.defect, kDefectDumpBytes));
    }

    // Remap records of channel c's page for CE index 0; false when the page is not valid.
    bool RemapListing(unsigned c, unsigned x) {
        DumpRawFile(Sprintf("15Remap_%2.2u%2.2u.raw", c, x), sources_.remap);
        const auto end = WalkRemapPage(Page(sources_.remap, c), [&](const RemapRecord& r) {
            AppendF(detail_.text, "<Remap> CH=%u  CE=%u  plane=%u [0x%04x ==> 0x%04x]\r\n", c,
                    Bank(r.ce), r.plane, unsigned{r.bad}, unsigned{r.spare});
            auto entry = Entry(BadBlockEntry::Kind::Remap, c, Bank(r.ce), r.bad);
            entry.plane = r.plane;
            entry.remap_block = r.spare;
            detail_.entries.push_back(entry);
        });
        return end != WalkEnd::NoSignature;
    }

    void UnitListSection() {
        const bool remap_supported = info_.FeatureFlags[5] == 1;
        for (unsigned x = 0; x < ces_; ++x) {
            for (unsigned c = 0; c < channels_; ++c) {
                if (x == 0 && remap_supported && RawDumpEnabled && !RemapListing(c, x)) continue;
                const auto list =
                    sources_.unit_list ? sources_.unit_list(c, x) : std::span<const std::uint8_t>{};
                UnitList(Prefix(list, kUnitListBytes), c, x, remap_supported);
            }
        }
        Flush();
    }

    void UnitList(std::span<const std::uint8_t> list, unsigned c, unsigned x,
                  bool remap_supported) {
        const auto early_page = Page(sources_.early, c);
        const auto remap_page = Page(sources_.remap, c);
        const auto later_page = LaterBadPage(x, c);
        const unsigned bank = Bank(x);
        const unsigned die = banks_ ? x / banks_ : 0;
        WalkBadUnitList(list, [&](std::uint16_t unit) {
            bool early = false;
            const auto early_end = WalkEarlyPage(early_page, [&](const EarlyRecord& r) {
                early = !r.ce_marker && r.ce == x && r.unit == unit;
                return !early;
            });
            // A list whose tables are not valid cannot be judged; the rest of it is left out.
            if (early_end == WalkEnd::NoSignature) return false;
            unsigned type = LaterBadTypeOf(later_page, unit).value_or(kErrTypeUnknown);

            bool remapped = false;
            std::uint32_t spare = 0;
            unsigned plane = 0;
            if (!early && remap_supported) {
                const auto remap_end = WalkRemapPage(remap_page, [&](const RemapRecord& r) {
                    remapped = !r.Empty() && r.ce == x && r.bad == unit;
                    if (remapped) {
                        spare = r.spare;
                        plane = r.plane;
                    }
                    return !remapped;
                });
                if (remap_end == WalkEnd::NoSignature) return false;
            }
            if (early) type = kErrTypeEarlyBad;
            CountUnit(c, bank, type);

            const std::uint32_t shown = unit + std::uint32_t{die} * info_.UnitsPerDie;
            const std::uint32_t plain = Offset(x, shown);
            std::uint32_t p = shown;
            std::uint32_t q = spare;
            if (!block_mode_) {
                p = plane == 0 ? shown * 2 + 1 : shown * 2;
                q = plane == 0 ? spare * 2 : spare * 2 + 1;
            }
            const bool known = type == kErrTypeEccOver || type == kErrTypeProgFail ||
                               type == kErrTypeEraseFail || type == kErrTypeEccFail;
            if (type == kErrTypeEarlyBad) {
                AreaLine(c, bank, "<EarlyBad> CH=%u  CE=%u  %s=0x%04x\r\n", c, bank, unit_word_,
                         plain);
                AreaEntry(Entry(BadBlockEntry::Kind::EarlyBad, c, bank, plain));
            } else {
                auto entry = Entry(BadBlockEntry::Kind::BadUnit, c, bank, remapped ? shown : plain);
                entry.error_type = type;
                entry.error_type_known = known;
                if (remapped) {
                    entry.remapped = true;
                    entry.remap_block = spare;
                    entry.pair_first = p;
                    entry.pair_second = q;
                }
                AreaEntry(entry);
                if (remapped) {
                    AreaLine(c, bank,
                             known ? "CH=%u  CE=%u  %s=0x%04x  ErrType=%u  [0x%04x, [0x%04x, "
                                     "0x%04x]]\r\n"
                                   : "CH=%u  CE=%u  %s=0x%04x  InvalidType=%u  [0x%04x, [0x%04x, "
                                     "0x%04x]]\r\n",
                             c, bank, unit_word_, shown, type, spare, p, q);
                } else {
                    AreaLine(c, bank,
                             known ? "CH=%u  CE=%u  %s=0x%04x  ErrType=%u\r\n"
                                   : "CH=%u  CE=%u  %s=0x%04x  InvalidType=%u\r\n",
                             c, bank, unit_word_, plain, type);
                }
            }
            if (known && marks_) marks_->Mark(c, bank, shown);
            return true;
        });
    }

    void CountUnit(unsigned c, unsigned bank, unsigned type) {
        switch (type) {
            case kErrTypeEarlyBad:
                detail_.counts.Add(c, bank, 0);
                break;
            case kErrTypeEraseFail:
                detail_.counts.Add(c, bank, 1);
                break;
            case kErrTypeProgFail:
                detail_.counts.Add(c, bank, 2);
                break;
            case kErrTypeEccFail:
                detail_.counts.Add(c, bank, 3);
                break;
            case kErrTypeEccOver:
                detail_.counts.Add(c, bank, 4);
                break;
            default:
                break;
        }
    }

    static std::size_t K12Column(unsigned type) {
        switch (type) {
            case kErrTypeEccOver:
                return 4;
            case kErrTypeProgFail:
                return 2;
            case kErrTypeEccFail:
                return 3;
            default:
                return 1;  // Erase Fail and every type the firmware does not name
        }
    }

    void K12Sections() {
        for (unsigned c = 0; c < channels_; ++c) DumpDefectTable();
        for (unsigned c = 0; c < channels_; ++c) {
            WalkEarlyPage(Page(sources_.early, c), [&](const EarlyRecord& r) {
                if (r.ce_marker) return;
                detail_.counts.Add(c, Bank(r.ce), 0);
                AreaLine(c, Bank(r.ce), "<EarlyBad> CH=%u\tCE=%u  BlockU=0x%04X\r\n", c, Bank(r.ce),
                         Offset(r.ce, r.unit));
                AreaEntry(
                    Entry(BadBlockEntry::Kind::EarlyBad, c, Bank(r.ce), Offset(r.ce, r.unit)));
            });
            Flush();
        }

        const auto list =
            sources_.drive_unit_list ? sources_.drive_unit_list() : std::span<const std::uint8_t>{};
        const K12ListForm form = K12ListFormOf(info_);
        const unsigned ce_range = form == K12ListForm::PerBank ? banks_ : ces_;
        WalkK12BadUnitList(Prefix(list, kUnitListBytes), form, [&](const K12BadUnit& entry) {
            const std::size_t column = K12Column(entry.type);
            for (unsigned c = 0; c < channels_; ++c) {
                for (unsigned e = 0; e < ce_range; ++e) {
                    detail_.counts.Add(c, e, column);
                    if (!entry.BadOn(e, c)) continue;
                    detail_.counts.Add(c, Bank(e), 6);
                    AreaLine(c, Bank(e), "CH=%u\tCE=%u  BlockU=0x%04X  ErrType=%u\r\n", c, Bank(e),
                             Offset(e, entry.unit), unsigned{entry.type});
                    auto unit =
                        Entry(BadBlockEntry::Kind::BadUnit, c, Bank(e), Offset(e, entry.unit));
                    unit.error_type = entry.type;
                    unit.error_type_known = true;
                    AreaEntry(unit);
                }
            }
        });
        Flush();
    }

    void PhysicalSection() {
        detail_.text += kSectionRule;
        detail_.text += "Physical Bad Block\r\n";
        BadBlockCounts planes(channels_, banks_);
        for (unsigned c = 0; c < channels_; ++c) {
            DumpDefectTable();
            unsigned e = 0;
            std::uint32_t even = 0;
            std::uint32_t odd = 0;
            const auto close = [&] {
                if (block_mode_) {
                    detail_.counts.Add(c, Bank(e), 5, even);
                } else if (even != 0 || odd != 0) {
                    detail_.counts.Add(c, Bank(e), 5, even + odd);
                }
                even = odd = 0;
            };
            const auto end = WalkDefectPage(Page(sources_.defect, c), [&](const DefectRecord& r) {
                if (r.ce_marker) {
                    close();
                    e = r.ce;
                    return;
                }
                const std::uint32_t v = Offset(e, r.value);
                const unsigned bank = Bank(e);
                const auto line = [&](std::uint32_t block) {
                    AreaLine(c, bank, "CH=%u\tCE=%u  Block=0x%04X\r\n", c, bank, block);
                    AreaEntry(Entry(BadBlockEntry::Kind::PhysicalBlock, c, bank, block));
                };
                if (block_mode_) {
                    line(v);
                    ++even;
                    return;
                }
                switch (r.Half()) {
                    case DefectHalf::Odd:
                        line(v * 2 + 1);
                        ++odd;
                        break;
                    case DefectHalf::Even:
                        line(v * 2);
                        ++even;
                        planes.Set(c, bank, 0, even);
                        break;
                    case DefectHalf::Both:
                        line(v * 2);
                        line(v * 2 + 1);
                        ++even;
                        planes.Set(c, bank, 0, even);
                        ++odd;
                        break;
                }
            });
            // A page without its end record still closes its last CE.
            if (end != WalkEnd::NoSignature) close();
        }
        if (!block_mode_) {
            for (unsigned c = 0; c < channels_; ++c) {
                for (unsigned e = 0; e < banks_; ++e) {
                    const std::uint32_t plane0 = planes.At(c, e, 0);
                    AreaLine(c, e, "CH=%u    CE=%u  Bad Block number Plan 0=%d, Plan 1=%d\r\n", c,
                             e, static_cast<int>(plane0),
                             static_cast<int>(detail_.counts.At(c, e, 5) - plane0));
                    auto entry = Entry(BadBlockEntry::Kind::PlaneCounts, c, e, 0);
                    entry.plane0 = plane0;
                    entry.plane1 = detail_.counts.At(c, e, 5) - plane0;
                    AreaEntry(entry);
                }
            }
        }
        Flush();
    }

    void RemapRelationSection() {
        detail_.text += kSectionRule;
        detail_.text += "Remap Relation\r\n";
        for (unsigned c = 0; c < channels_; ++c) {
            WalkRemapPage(Page(sources_.remap, c), [&](const RemapRecord& r) {
                if (r.Empty()) return;
                const char* format = "CH=%u  CE=%u  Bad Block=0x%04X  Remap Block=0x%04X\r\n";
                const unsigned bank = Bank(r.ce);
                const std::uint32_t a = Offset(r.ce, r.bad);
                const std::uint32_t b = Offset(r.ce, r.spare);
                const auto relation = [&](unsigned ce, std::uint32_t bad, std::uint32_t spare) {
                    AreaLine(c, bank, format, c, ce, bad, spare);
                    auto entry = Entry(BadBlockEntry::Kind::RemapRelation, c, ce, bad);
                    entry.remap_block = spare;
                    if (Area(c, bank))
                        area_entries_[std::size_t{c} * banks_ + bank].push_back(entry);
                };
                if (block_mode_) {
                    relation(r.ce, r.bad, r.spare);
                } else if (r.plane == 0) {
                    relation(bank, a * 2, b * 2);
                } else if (r.plane == 1) {
                    relation(bank, a * 2 + 1, b * 2 + 1);
                }
            });
        }
        Flush();
    }

    const SystemInfoRecord& info_;
    const BadBlockSources& sources_;
    BadBlockMarks* marks_;
    const unsigned channels_;
    const unsigned banks_;
    const unsigned ces_;
    const std::uint32_t unit_offset_;
    const bool block_mode_;
    const std::size_t page_size_;
    const char* const unit_word_;
    std::vector<std::string> areas_;                        // by channel, then bank
    std::vector<std::vector<BadBlockEntry>> area_entries_;  // the records of the areas' lines
    BadBlockDetail detail_;
};

}  // namespace

BadBlockDetail BuildBadBlockDetail(const SystemInfoRecord& info, const BadBlockSources& sources,
                                   bool remap_relation, BadBlockMarks* marks) {
    return DetailBuilder(info, sources, marks).Build(remap_relation);
}

BadBlockDetail BuildBadBlockDetail(unsigned device, std::span<std::uint8_t> buffer,
                                   bool remap_relation, BadBlockMarks* marks) {
    ReadSystemInfo(device, buffer);
    ReadDefectTables(device, buffer);
    DeviceBuffers& tables = BuffersOf(device);
    BadBlockSources sources;
    sources.defect = tables.DefectTable();
    sources.early = tables.EarlyTable();
    sources.remap = tables.RemapTable();
    sources.later_bad = [&tables](std::size_t slot) -> std::span<const std::uint8_t> {
        return tables.LaterBadSlot(slot);
    };
    const std::span<const std::uint8_t> data = buffer;
    // A list that was not read is an empty one: the buffer still holds the list read before it.
    const auto read_list = [&](unsigned c, unsigned x) {
        if (!VA_ReadBadBlockTable(device, buffer, kUnitListSectors, static_cast<std::uint8_t>(c),
                                  static_cast<std::uint8_t>(x))) {
            std::fill_n(buffer.begin(), std::min(buffer.size(), kUnitListBytes), std::uint8_t{0});
        }
    };
    sources.unit_list = [&](unsigned c, unsigned x) {
        read_list(c, x);
        DumpRawFile(Sprintf("SB_%2.2u%2.2u.raw", c, x), Prefix(data, 131072));
        return data;
    };
    sources.drive_unit_list = [&] {
        read_list(0, 0);
        DumpRawFile("BadUnit.raw", Prefix(data, 65536));
        return data;
    };
    return BuildBadBlockDetail(SystemInfo, sources, remap_relation, marks);
}

}  // namespace vt
