// The bench writer against the bench reader: whatever it writes reads back as the same bytes.

#include <gtest/gtest.h>

#include <random>

#include "sim/bench_file.h"
#include "sim/bench_writer.h"
#include "sim/json_reader.h"

namespace vt::sim {
namespace {

Bytes ReadBack(const nlohmann::ordered_json& blob) {
    return ReadBlob(nlohmann::json::parse(blob.dump()), "blob", ".");
}

TEST(BenchWriter, BlobsReadBackByteForByte) {
    std::mt19937 random(7);
    std::vector<Bytes> cases = {{}, {0x00}, Bytes(40, 0xAB), Bytes(4096, 0x00), Bytes(4096, 0xFF)};
    Bytes dense(3000);
    for (auto& b : dense) b = static_cast<std::uint8_t>(random());
    cases.push_back(dense);
    Bytes sparse(65536, 0xFF);  // an erased serial flash with a header and a log here and there
    for (std::size_t i = 0; i < 300; ++i) sparse[i] = static_cast<std::uint8_t>(i * 7);
    for (std::size_t i = 20000; i < 20010; ++i) sparse[i] = 0;
    sparse[65535] = 0x12;
    cases.push_back(sparse);
    Bytes zeros_and_ff(1000, 0);  // one fill byte between stretches, and a stretch at the end
    for (std::size_t i = 100; i < 1000; i += 2) zeros_and_ff[i] = 0xFF;
    cases.push_back(zeros_and_ff);
    for (const auto& bytes : cases) EXPECT_EQ(ReadBack(BlobJson(bytes)), bytes) << bytes.size();

    // Mostly fill: a few patches, not the whole buffer in hex.
    const auto compact = BlobJson(sparse);
    ASSERT_TRUE(compact.is_object());
    EXPECT_EQ(compact["fill"], "FF");
    EXPECT_LT(compact.dump().size(), 1200u);
    EXPECT_TRUE(BlobJson(Bytes(4096, 0)).dump().size() < 20);
}

TEST(BenchWriter, KnownBytesJoinOverlapsAndKeepTheLatest) {
    KnownBytes known;
    known.Write(100, Bytes(10, 1));
    known.Write(0, Bytes(10, 2));
    known.Write(105, Bytes(10, 3));  // overlaps the first: the later bytes win
    known.Write(115, Bytes(5, 4));   // touches the end: joined
    known.Write(98, Bytes(3, 5));    // reaches into the start
    ASSERT_EQ(known.Runs().size(), 2u);
    const Bytes& run = known.Runs().at(98);
    Bytes expected = {5, 5, 5, 1, 1, 1, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4};
    EXPECT_EQ(run, expected);
    EXPECT_EQ(known.End(), 120u);
    known.Write(10, Bytes(88, 6));  // fills the gap: one run
    EXPECT_EQ(known.Runs().size(), 1u);
    known.Patch(118, Bytes{9, 9, 9, 9});  // only the known bytes change
    EXPECT_EQ(known.End(), 120u);
    EXPECT_EQ(known.Runs().at(0)[119], 9);

    // Known stretches from position 0, the gaps in between free.
    KnownBytes image;
    image.Write(512, Bytes(512, 0xFF));
    image.Write(4096, Bytes{1, 2, 3});
    const Bytes back = ReadBack(BlobJson(image));
    ASSERT_EQ(back.size(), 4099u);
    EXPECT_TRUE(
        std::all_of(back.begin() + 512, back.begin() + 1024, [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(back[4096], 1);
    EXPECT_EQ(back[4098], 3);
}

TEST(BenchWriter, ADriveReadsBackWithEveryRawKey) {
    RawDrive d;
    d.bus = "usb";
    d.bridge = "older";
    d.vendor = true;
    d.mode = "loader";
    d.identify = Bytes(512, 0x20);
    d.loader_inquiry = Bytes{1, 2, 3};
    d.inquiry = Bytes(40, 0x41);
    d.capacity_sectors = 125045424;
    d.status_sector = Bytes{0xE5, 0x56, 0x54};
    d.memory[3].Write(0, Bytes(4096, 0x13));
    d.memory[3].Write(0x180000, Bytes(64, 0));  // zeros: left out, unset memory reads 0
    d.memory[3].Write(0xDC000, Bytes{7, 8});
    d.system_pages[{1, 17, 2}].Write(1536, Bytes(512, 0x5A));
    d.flash_pages[{3, 1, 1000, 255}] = Bytes(100, 0x77);
    d.bad_unit_lists[{1, 0}] = Bytes{0xAA};
    d.erase_counts[{0, 1}] = Bytes(8192, 0x00);
    d.smart_data = Bytes(512, 0x10);
    d.smart_usb = Bytes{0x10};
    d.spi_flash.emplace();
    d.spi_flash->Write(0x1000, Bytes{0x56, 0x54});
    d.dram_layout = Bytes{0x4C};
    d.registers[0x1F000010] = 0xC3;
    d.faults.push_back({"vendor:86", 2, 1, "timeout"});
    d.faults.push_back({"scsi:25", 0, 1, "gone"});

    nlohmann::json document;
    document["drives"] = nlohmann::json::array({nlohmann::json::parse(RawDriveJson(d).dump())});
    EXPECT_FALSE(document["drives"][0]["memory"].contains("3:0x180000"));
    const auto drives = ReadBenchDocument(document, ".");
    ASSERT_EQ(drives.size(), 1u);
    const DriveConfig& c = drives[0];
    EXPECT_EQ(c.bridge, Bridge::Older);
    EXPECT_EQ(c.mode, ControllerMode::Loader);
    EXPECT_EQ(c.identify, Bytes(512, 0x20));
    EXPECT_EQ(c.inquiry, Bytes(40, 0x41));
    EXPECT_EQ(c.loader_inquiry, (Bytes{1, 2, 3}));
    EXPECT_EQ(c.capacity_sectors, 125045424u);
    Bytes memory(4096);
    c.memory.at(3).Read(0, memory);
    EXPECT_EQ(memory, Bytes(4096, 0x13));
    Bytes log(2);
    c.memory.at(3).Read(0xDC000, log);
    EXPECT_EQ(log, (Bytes{7, 8}));
    Bytes page(512);
    c.system_pages.at({1, 17, 2}).Read(1536, page);
    EXPECT_EQ(page, Bytes(512, 0x5A));
    EXPECT_EQ(c.flash_pages.at({3, 1, 1000, 255}), Bytes(100, 0x77));
    EXPECT_EQ(c.bad_unit_lists.at({1, 0}), Bytes{0xAA});
    EXPECT_EQ(c.erase_counts.at({0, 1}), Bytes(8192, 0));
    EXPECT_EQ((*c.smart_usb)[0], 0x10);
    ASSERT_TRUE(c.spi_flash.has_value());
    EXPECT_EQ((*c.spi_flash)[0x1001], 0x54);
    EXPECT_EQ(c.registers.at(0x1F000010), 0xC3);
    ASSERT_EQ(c.faults.size(), 2u);
    EXPECT_EQ(c.faults[0].target, FaultTarget::Vendor);
    EXPECT_EQ(c.faults[0].code, 0x86);
    EXPECT_EQ(c.faults[0].skip, 2u);
    EXPECT_EQ(c.faults[0].effect, FaultEffect::Timeout);
    EXPECT_EQ(c.faults[1].target, FaultTarget::Scsi);
    EXPECT_EQ(c.faults[1].effect, FaultEffect::Gone);
}

}  // namespace
}  // namespace vt::sim
