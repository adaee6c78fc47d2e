#include "ctrl/table_pages.h"

#include <gtest/gtest.h>

#include <vector>

namespace vt {
namespace {

// A table page: its signature, then little-endian words.
std::vector<std::uint8_t> Page(PageKind kind, std::initializer_list<std::uint16_t> words,
                               std::size_t size = 512) {
    std::vector<std::uint8_t> page(size, 0);
    const auto signature = PageSignature(kind);
    std::copy(signature.begin(), signature.end(), page.begin());
    std::size_t at = kPageSignatureSize;
    for (const std::uint16_t w : words) {
        page.at(at++) = static_cast<std::uint8_t>(w);
        page.at(at++) = static_cast<std::uint8_t>(w >> 8);
    }
    return page;
}

TEST(TablePages, AreValidOnlyWithTheirOwnSignatureAndWhollyInsideTheTable) {
    const auto page = Page(PageKind::Remap, {});
    EXPECT_TRUE(HasPageSignature(page, PageKind::Remap));
    EXPECT_FALSE(HasPageSignature(page, PageKind::Defect));
    EXPECT_EQ(WalkDefectPage(page, [](const DefectRecord&) { ADD_FAILURE(); }),
              WalkEnd::NoSignature);
    const auto system = PageSignature(PageKind::System);
    EXPECT_EQ(std::string(system.begin(), system.end()), std::string("SYSPVTFK3X-V001\0", 16));

    const std::vector<std::uint8_t> table(1000);
    EXPECT_EQ(ChannelPage(table, 1, 400).data(), table.data() + 400);
    EXPECT_TRUE(ChannelPage(table, 2, 400).empty());
    EXPECT_TRUE(ChannelPage(table, 0, 0).empty());
}

TEST(TablePages, EarlyBadWordFB02hSwitchesToCe2AndFE00hEndsTheList) {
    const auto page = Page(PageKind::EarlyBad, {0x0005, 0xFB02, 0x8007, 0xFE00, 0x0011});
    std::vector<std::pair<unsigned, std::uint16_t>> units;
    EXPECT_EQ(WalkEarlyPage(page,
                            [&](const EarlyRecord& r) {
                                if (!r.ce_marker) units.emplace_back(r.ce, r.unit);
                            }),
              WalkEnd::EndRecord);
    // Bit 15 is not part of the unit number.
    EXPECT_EQ(units, (std::vector<std::pair<unsigned, std::uint16_t>>{{0, 5}, {2, 7}}));
}

TEST(TablePages, DefectPageWithoutEndRecordEndsAtThePageEnd) {
    const auto page = Page(PageKind::Defect, {0xA0FB, 0x0003, 0x0030, 0x0012, 0x0040}, 26);
    std::vector<DefectRecord> records;
    EXPECT_EQ(WalkDefectPage(page, [&](const DefectRecord& r) { records.push_back(r); }),
              WalkEnd::PageEnd);
    ASSERT_EQ(records.size(), 2u);  // the half record at the end is not read
    EXPECT_TRUE(records[0].ce_marker);
    EXPECT_EQ(records[1].ce, 3);
    EXPECT_EQ(records[1].Half(), DefectHalf::Both);  // low nibble 2
}

TEST(TablePages, RemapPageKeepsCeAndPlaneAndAVisitorCanStopIt) {
    const auto page =
        Page(PageKind::Remap, {0x0007, 0x0100, 0xEBA0, 0x0003, 0xEAE0, 0x0001, 0xEDE0, 0x1234,
                               0xFFFF, 0xFFFF, 0x0008, 0x0200, 0xEED1, 0x0000, 0x0009, 0x0300});
    std::vector<RemapRecord> records;
    EXPECT_EQ(WalkRemapPage(page, [&](const RemapRecord& r) { records.push_back(r); }),
              WalkEnd::EndRecord);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].ce, 0);
    EXPECT_TRUE(records[1].Empty());
    EXPECT_EQ(records[2].bad, 8);
    EXPECT_EQ(records[2].spare, 0x200);
    EXPECT_EQ(records[2].ce, 3);
    EXPECT_EQ(records[2].plane, 1);
    int calls = 0;
    EXPECT_EQ(WalkRemapPage(page, [&](const RemapRecord&) { return ++calls < 2; }),
              WalkEnd::Stopped);
    EXPECT_EQ(calls, 2);
}

TEST(TablePages, LaterBadCountLargerThanItsPageIsCutToTheEntriesItHolds) {
    auto page = Page(PageKind::LaterBad, {1000}, 48);  // room for 4 entries
    const std::uint8_t entries[] = {0x10, 0, 3, 0, 0x11, 0, 5, 0, 0x10, 0, 1, 0, 0x12, 0, 4, 0};
    std::copy(std::begin(entries), std::end(entries), page.begin() + 32);
    int seen = 0;
    EXPECT_EQ(WalkLaterBadPage(page, [&](const LaterBadEntry&) { ++seen; }), WalkEnd::PageEnd);
    EXPECT_EQ(seen, 4);
    EXPECT_EQ(LaterBadTypeOf(page, 0x10), 3);  // the first entry naming the unit
    EXPECT_EQ(LaterBadTypeOf(page, 0x12), 4);
    page[16] = 2;
    page[17] = 0;
    EXPECT_FALSE(LaterBadTypeOf(page, 0x12).has_value());
}

// Found by fuzzing: a later-bad page cut right after its signature had its count read past its end.
TEST(TablePages, LaterBadPageEndingBeforeItsCountHasNoEntries) {
    for (const std::size_t size : {kPageSignatureSize, kPageSignatureSize + 1}) {
        const auto page = Page(PageKind::LaterBad, {}, size);
        int seen = 0;
        EXPECT_EQ(WalkLaterBadPage(page, [&](const LaterBadEntry&) { ++seen; }), WalkEnd::PageEnd);
        EXPECT_EQ(seen, 0);
        EXPECT_FALSE(LaterBadTypeOf(page, 0).has_value());
    }
}

TEST(BadUnitLists, CountsAreBoundedByTheAnswer) {
    std::vector<std::uint8_t> list(16, 0);
    list[4] = 5;  // five claimed, two fit
    list[8] = 0x34;
    list[9] = 0x12;
    std::vector<std::uint16_t> units;
    EXPECT_EQ(WalkBadUnitList(list, [&](std::uint16_t u) { units.push_back(u); }),
              WalkEnd::PageEnd);
    EXPECT_EQ(units, (std::vector<std::uint16_t>{0x1234, 0}));
    EXPECT_EQ(WalkBadUnitList(std::span(list).first(6), [](std::uint16_t) { ADD_FAILURE(); }),
              WalkEnd::PageEnd);
}

TEST(BadUnitLists, K12EntriesHaveBankMasksWhenFwInfoSays00AndCeMasksOtherwise) {
    SystemInfoRecord info;
    info.FwInfo[7] = '0';
    info.FwInfo[8] = '0';
    EXPECT_EQ(K12ListFormOf(info), K12ListForm::PerBank);
    info.FwInfo[8] = '1';
    EXPECT_EQ(K12ListFormOf(info), K12ListForm::PerCe);

    // Two 7-byte entries: unit big-endian, type, four bank masks.
    const std::vector<std::uint8_t> list{2, 0,    0,    0,    0x01, 0x02, 3, 0x05, 0,
                                         0, 0x80, 0x00, 0x10, 7,    0,    0, 0,    0};
    std::vector<K12BadUnit> units;
    WalkK12BadUnitList(list, K12ListForm::PerBank,
                       [&](const K12BadUnit& u) { units.push_back(u); });
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0].unit, 0x0102);
    EXPECT_EQ(units[0].type, 3);
    EXPECT_TRUE(units[0].BadOn(0, 2));
    EXPECT_FALSE(units[0].BadOn(0, 1));
    EXPECT_TRUE(units[0].BadOn(3, 7));
    EXPECT_FALSE(units[0].BadOn(4, 0));  // past the four banks
    EXPECT_EQ(units[1].type, 7);
    // In the 19-byte form the same bytes hold no whole entry.
    EXPECT_EQ(
        WalkK12BadUnitList(list, K12ListForm::PerCe, [](const K12BadUnit&) { ADD_FAILURE(); }),
        WalkEnd::PageEnd);
}

}  // namespace
}  // namespace vt
