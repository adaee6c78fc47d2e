#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "ctrl/device_buffers.h"
#include "ctrl/table_pages.h"
#include "report/bad_block_texts.h"

namespace vt {
namespace {

constexpr std::size_t kPage = 512;  // one sector per page keeps the tables small

// One table buffer: a page per channel, each starting with the signature of its kind.
struct Table {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> end;  // write position per channel
    Table(PageKind kind, unsigned channels) : bytes(channels * kPage, 0), end(channels, 16) {
        const auto signature = PageSignature(kind);
        for (unsigned c = 0; c < channels; ++c) {
            std::copy(signature.begin(), signature.end(), bytes.begin() + c * kPage);
        }
    }
    void Put16(unsigned c, std::uint16_t v) {
        bytes[c * kPage + end[c]] = static_cast<std::uint8_t>(v);
        bytes[c * kPage + end[c] + 1] = static_cast<std::uint8_t>(v >> 8);
        end[c] += 2;
    }
    void Record(unsigned c, std::uint16_t a, std::uint16_t b) {
        Put16(c, a);
        Put16(c, b);
    }
};

struct UnitLists {
    std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>> lists;
    void Add(unsigned c, unsigned x, std::vector<std::uint16_t> units) {
        std::vector<std::uint8_t> list(8 + 4 * units.size(), 0);
        list[4] = static_cast<std::uint8_t>(units.size());
        for (std::size_t i = 0; i < units.size(); ++i) {
            list[8 + 4 * i] = static_cast<std::uint8_t>(units[i]);
            list[9 + 4 * i] = static_cast<std::uint8_t>(units[i] >> 8);
        }
        lists[{c, x}] = list;
    }
};

SystemInfoRecord Drive(unsigned channels, unsigned banks) {
    SystemInfoRecord info;
    info.ChannelCount = static_cast<std::uint8_t>(channels);
    info.BankCount = static_cast<std::uint8_t>(banks);
    info.DiesPerCe = 1;
    info.SectorsPerPage = 1;
    info.UnitsPerDie = 1024;
    std::memcpy(&info.FwInfo[0x24], "K38", 3);
    return info;
}

struct Fixture {
    SystemInfoRecord info;
    Table defect, early, remap;
    std::vector<std::uint8_t> later_bad;
    UnitLists units;
    std::vector<std::uint8_t> k12_list;
    BadBlockMarks marks;

    Fixture(unsigned channels, unsigned banks)
        : info(Drive(channels, banks)),
          defect(PageKind::Defect, channels),
          early(PageKind::EarlyBad, channels),
          remap(PageKind::Remap, channels),
          later_bad(kLaterBadTableSize, 0) {}

    // Each page ends after what the test wrote (the end records are not counted in `end`).
    void EndLists() {
        const auto put = [](Table& t, unsigned c, std::uint16_t v) {
            t.bytes[c * kPage + t.end[c]] = static_cast<std::uint8_t>(v);
            t.bytes[c * kPage + t.end[c] + 1] = static_cast<std::uint8_t>(v >> 8);
        };
        for (unsigned c = 0; c < info.ChannelCount; ++c) {
            put(defect, c, 0xD1FE);
            put(early, c, 0xFE00);
            put(remap, c, 0xEED1);
        }
    }

    // Later-bad entries of slot `slot`, channel c.
    void LaterBad(std::size_t slot, unsigned c,
                  std::vector<std::pair<std::uint16_t, std::uint8_t>> entries) {
        auto* page = later_bad.data() + slot * kTablePageBufferSize + c * kPage;
        const auto signature = PageSignature(PageKind::LaterBad);
        std::copy(signature.begin(), signature.end(), page);
        page[16] = static_cast<std::uint8_t>(entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            page[32 + 4 * i] = static_cast<std::uint8_t>(entries[i].first);
            page[33 + 4 * i] = static_cast<std::uint8_t>(entries[i].first >> 8);
            page[34 + 4 * i] = entries[i].second;
        }
    }

    BadBlockDetail Build(bool remap_relation = false) {
        EndLists();
        BadBlockSources sources;
        sources.defect = defect.bytes;
        sources.early = early.bytes;
        sources.remap = remap.bytes;
        sources.later_bad = [this](std::size_t slot) {
            return std::span<const std::uint8_t>(later_bad).subspan(slot * kTablePageBufferSize,
                                                                    kTablePageBufferSize);
        };
        sources.unit_list = [this](unsigned c, unsigned x) -> std::span<const std::uint8_t> {
            const auto found = units.lists.find({c, x});
            if (found == units.lists.end()) return {};
            return found->second;
        };
        sources.drive_unit_list = [this] { return std::span<const std::uint8_t>(k12_list); };
        return BuildBadBlockDetail(info, sources, remap_relation, &marks);
    }
};

bool Contains(const std::string& text, const std::string& line) {
    return text.find(line) != std::string::npos;
}

TEST(BadBlockDetail, LaterBadUnitIsListedCountedAndMarked) {
    Fixture f(2, 2);
    f.units.Add(1, 1, {16});
    f.LaterBad(2 * 1, 1, {{16, 3}});  // slot 2x + x / B for x = 1
    const auto detail = f.Build();
    EXPECT_TRUE(Contains(detail.text, "CH=1  CE=1  BlockU=0x0010  ErrType=3\r\n"));
    EXPECT_EQ(detail.counts.At(1, 1, 2), 1u);
    EXPECT_EQ(detail.totals[2], 1u);
    EXPECT_TRUE(f.marks.IsBad(1, 1, 16));
    EXPECT_FALSE(f.marks.IsBad(0, 1, 16));
}

TEST(BadBlockDetail, UnknownUnitIsShownAsInvalidAndNotCounted) {
    Fixture f(1, 1);
    f.units.Add(0, 0, {0x55});
    const auto detail = f.Build();
    EXPECT_TRUE(Contains(detail.text, "CH=0  CE=0  BlockU=0x0055  InvalidType=99\r\n"));
    for (std::size_t k = 0; k < kBadBlockColumns; ++k) EXPECT_EQ(detail.totals[k], 0u);
    EXPECT_FALSE(f.marks.IsBad(0, 0, 0x55));
}

TEST(BadBlockDetail, EarlyBadUnitWinsOverItsLaterBadType) {
    Fixture f(1, 1);
    f.early.Put16(0, 0x0021);
    f.units.Add(0, 0, {0x21});
    f.LaterBad(0, 0, {{0x21, 5}});
    const auto detail = f.Build();
    EXPECT_TRUE(Contains(detail.text, "<EarlyBad> CH=0  CE=0  BlockU=0x0021\r\n"));
    EXPECT_EQ(detail.counts.At(0, 0, 0), 1u);
    EXPECT_FALSE(f.marks.IsBad(0, 0, 0x21));
}

TEST(BadBlockDetail, RemappedUnitShowsItsBlockPairOnlyWithRemapSupport) {
    Fixture f(1, 1);
    f.units.Add(0, 0, {0x40});
    f.LaterBad(0, 0, {{0x40, 4}});
    f.remap.Record(0, 0xEAE0, 1);  // plane 1
    f.remap.Record(0, 0x40, 0x3FF);
    auto detail = f.Build();
    EXPECT_TRUE(Contains(detail.text, "CH=0  CE=0  BlockU=0x0040  ErrType=4\r\n"));
    f.info.FeatureFlags[5] = 1;
    detail = f.Build();
    EXPECT_TRUE(Contains(detail.text,
                         "CH=0  CE=0  BlockU=0x0040  ErrType=4  [0x03ff, [0x0080, 0x07ff]]\r\n"));
    EXPECT_EQ(detail.counts.At(0, 0, 1), 1u);
}

TEST(BadBlockDetail, ListWithoutValidTablesIsSkipped) {
    Fixture f(1, 1);
    f.early.bytes[0] = 0;  // break the early bad page's signature
    f.units.Add(0, 0, {1, 2});
    const auto detail = f.Build();
    EXPECT_FALSE(Contains(detail.text, "InvalidType"));
}

TEST(BadBlockDetail, DefectRecordsInUnitMode) {
    Fixture f(1, 1);
    f.defect.Record(0, 0x0010, 0x0000);  // odd block
    f.defect.Record(0, 0x0020, 0x0001);  // even block
    f.defect.Record(0, 0x0030, 0x0002);  // both blocks
    const auto detail = f.Build();
    EXPECT_TRUE(Contains(detail.text, "CH=0\tCE=0  Block=0x0021\r\n"));
    EXPECT_TRUE(Contains(detail.text, "CH=0\tCE=0  Block=0x0040\r\n"));
    EXPECT_TRUE(Contains(detail.text, "CH=0\tCE=0  Block=0x0060\r\nCH=0\tCE=0  Block=0x0061\r\n"));
    EXPECT_EQ(detail.counts.At(0, 0, 5), 4u);
    // Plane 0 holds the even blocks counted when the last even one was seen.
    EXPECT_TRUE(Contains(detail.text, "CH=0    CE=0  Bad Block number Plan 0=2, Plan 1=2\r\n"));
}

TEST(BadBlockDetail, DefectRecordsInBlockModeHaveNoPlaneLines) {
    Fixture f(1, 2);
    f.info.TableFlags = 0x04;
    f.defect.Record(0, 0xA0FB, 0x0001);  // CE index 1
    f.defect.Record(0, 0x0123, 0x0002);
    const auto detail = f.Build();
    EXPECT_TRUE(Contains(detail.text, "CH=0\tCE=1  Block=0x0123\r\n"));
    EXPECT_EQ(detail.counts.At(0, 1, 5), 1u);
    EXPECT_FALSE(Contains(detail.text, "Plan 0"));
}

TEST(BadBlockDetail, RemapRelationSectionOnlyWhenEnabled) {
    Fixture f(1, 2);
    f.remap.Record(0, 0xEBA0, 1);
    f.remap.Record(0, 0x0005, 0x0100);
    f.remap.Record(0, 0xEAE0, 1);
    f.remap.Record(0, 0x0006, 0x0101);
    f.remap.Record(0, 0xFFFF, 0xFFFF);
    auto detail = f.Build(false);
    EXPECT_FALSE(Contains(detail.text, "Remap Relation"));
    EXPECT_TRUE(detail.text.ends_with("Plan 1=0\r\n"));
    detail = f.Build(true);
    EXPECT_TRUE(Contains(detail.text,
                         "Remap Relation\r\nCH=0  CE=1  Bad Block=0x000A  Remap Block=0x0200\r\n"
                         "CH=0  CE=1  Bad Block=0x000D  Remap Block=0x0203\r\n"));
    EXPECT_FALSE(Contains(detail.text, "0xFFFF"));
}

TEST(BadBlockDetail, K12ListCountsEveryChannelAndListsTheMaskedOnes) {
    Fixture f(2, 2);
    std::memcpy(&f.info.FwInfo[0x24], "K12", 3);
    std::memcpy(&f.info.FwInfo[7], "00", 2);  // entries with one mask per bank
    f.k12_list = {1,    0,    0, 0,           // one entry
                  0x01, 0x23, 7, 0x02, 0x00, 0x00, 0x00};
    const auto detail = f.Build();
    EXPECT_TRUE(Contains(detail.text, "CH=1\tCE=0  BlockU=0x0123  ErrType=7\r\n"));
    EXPECT_EQ(detail.counts.At(0, 0, 1), 1u);  // an unnamed type counts as Erase Fail
    EXPECT_EQ(detail.counts.At(1, 1, 1), 1u);
    EXPECT_EQ(detail.counts.At(1, 0, 6), 1u);
    EXPECT_EQ(detail.totals[1], 4u);
    EXPECT_EQ(detail.totals[6], 1u);
}

TEST(BadBlockDetail, MoreChannelsAndBanksThanTheOldLimitsAreCounted) {
    Fixture f(8, 8);
    f.units.Add(7, 7, {0x2000});  // past the mark map's 4096 blocks
    f.LaterBad(14, 7, {{0x2000, 1}});
    const auto detail = f.Build();
    EXPECT_EQ(detail.counts.At(7, 7, 4), 1u);
    EXPECT_TRUE(Contains(detail.text, "CH=7  CE=7  BlockU=0x2000  ErrType=1\r\n"));
    const auto lines = BadBlockSummaryLines(detail, 8, 8, false);
    ASSERT_EQ(lines.size(), 8u * 8u + 7u);
    EXPECT_EQ(lines[4 + 63],
              "CH=07 CE=07     0          0         0          1          1          0          0  "
              "        0");
}

TEST(BadBlockSummary, LayoutOfTheTable) {
    BadBlockDetail detail;
    detail.counts = BadBlockCounts(2, 2);
    detail.counts.Add(1, 0, 4, 3);  // 3 Ecc Over
    detail.counts.Add(1, 0, 2, 2);  // 2 Prog Fail
    detail.counts.Add(1, 0, 5, 12);
    detail.totals = {0, 0, 2, 0, 3, 12, 0};
    auto lines = BadBlockSummaryLines(detail, 2, 2, false);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], std::string(97, '-'));
    EXPECT_EQ(lines[1], std::string(14, ' ') + "[Factory](Block)" + std::string(3, ' ') + "|" +
                            std::string(23, ' ') + "[System](BlockU)" + std::string(25, ' '));
    EXPECT_EQ(lines[2], std::string(12, ' ') +
                            "early_bad  later_bad | early_bad  later_bad  Ecc Over  Prog Fail  "
                            "Erase Fail  Ecc Fail");
    EXPECT_EQ(lines[4],
              "CH=00 CE=00     0          0         0          0          0          0          0  "
              "        0");
    EXPECT_EQ(lines[5],
              "CH=01 CE=00    12          0         0          5          3          2          0  "
              "        0");
    EXPECT_EQ(lines[6].substr(0, 11), "CH=00 CE=01");
    EXPECT_EQ(lines[9],
              "SUM            12          0         0          5          3          2          0  "
              "        0");
    EXPECT_EQ(lines[10], "(One BlockU equal to two NAND flash blocks)");

    lines = BadBlockSummaryLines(detail, 2, 2, true);
    EXPECT_EQ(lines[1], std::string(14, ' ') + "[Factory](Block)" + std::string(3, ' ') + "|" +
                            std::string(23, ' ') + "[System](Block)" + std::string(26, ' '));
    EXPECT_EQ(lines.back(), "(One BlockU equal to two NAND flash blocks)");
}

TEST(BadBlockSummary, NoTablesGiveAFullTableOfZeros) {
    SystemInfoRecord info = Drive(2, 1);
    BadBlockSources none;
    const auto detail = BuildBadBlockDetail(info, none, true, nullptr);
    const auto page = BadBlockPageTexts(BadBlocksModel{detail, 2, 1, false});
    EXPECT_EQ(page.MemoOf("BadBlockMemo").size(), 2u + 7u);
    const auto text = page.MemoOf("DetalBadInfoMemo");
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text[0], "ErrType 1 (Ecc Over)");
    EXPECT_EQ(text[3], "ErrType 5 (Ecc Fail)");
    EXPECT_TRUE(Contains(detail.text, "CH=1    CE=0  Bad Block number Plan 0=0, Plan 1=0\r\n"));
}

}  // namespace
}  // namespace vt
