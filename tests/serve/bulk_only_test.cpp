// The USB side of the device server without a kernel: command block wrappers as usb-storage
// sends them, the answers and sense a bridge gives, and the control requests of its function.

#include "serve/bulk_only.h"

#include <gtest/gtest.h>

#include "serve/ffs_function.h"
#include "sim/bench.h"

namespace vt {
namespace {

using nlohmann::json;
using serve::BulkAnswer;
using serve::CommandBlockWrapper;
using serve::CswStatus;

std::vector<std::uint8_t> Cbw(std::uint32_t tag, std::uint32_t length, bool in,
                              std::vector<std::uint8_t> cdb, std::uint8_t lun = 0) {
    std::vector<std::uint8_t> bytes(31, 0);
    const std::uint32_t words[3] = {0x43425355, tag, length};
    for (int w = 0; w < 3; ++w) {
        for (int i = 0; i < 4; ++i)
            bytes[4 * w + i] = static_cast<std::uint8_t>(words[w] >> (8 * i));
    }
    bytes[12] = in ? 0x80 : 0x00;
    bytes[13] = lun;
    bytes[14] = static_cast<std::uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), bytes.begin() + 15);
    return bytes;
}

TEST(BulkOnlyWrapper, TakesOnlyAWellFormedCommand) {
    const auto parsed = serve::ParseCbw(Cbw(0x11223344, 36, true, {0x12, 0, 0, 0, 36, 0}));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->tag, 0x11223344u);
    EXPECT_EQ(parsed->data_length, 36u);
    EXPECT_TRUE(parsed->data_in);
    EXPECT_EQ(parsed->cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 36, 0}));

    auto bad_signature = Cbw(1, 0, false, {0x00});
    bad_signature[0] = 'X';
    auto reserved_flag = Cbw(1, 0, false, {0x00});
    reserved_flag[12] = 0x01;
    auto long_cdb = Cbw(1, 0, false, {0x00});
    long_cdb[14] = 17;
    auto packet = Cbw(1, 0, false, {0x00});
    packet.push_back(0);  // 32 bytes: not a wrapper
    EXPECT_FALSE(serve::ParseCbw(bad_signature));
    EXPECT_FALSE(serve::ParseCbw(reserved_flag));
    EXPECT_FALSE(serve::ParseCbw(long_cdb));
    EXPECT_FALSE(serve::ParseCbw(Cbw(1, 0, false, {})));
    EXPECT_FALSE(serve::ParseCbw(Cbw(1, 0, false, {0x00}, 1)));  // only LUN 0 exists
    EXPECT_FALSE(serve::ParseCbw(packet));
    EXPECT_FALSE(serve::ParseCbw(std::vector<std::uint8_t>(13, 0)));

    const auto csw = serve::MakeCsw(0xA1B2C3D4, 0x200, CswStatus::Failed);
    EXPECT_EQ(std::vector<std::uint8_t>(csw.begin(), csw.end()),
              (std::vector<std::uint8_t>{'U', 'S', 'B', 'S', 0xD4, 0xC3, 0xB2, 0xA1, 0x00, 0x02, 0,
                                         0, 1}));
}

class BulkOnlyDrive : public ::testing::Test {
  protected:
    void Load(json faults = json::array()) {
        json drive = {{"bus", "usb"},
                      {"bridge", "supported"},
                      {"bridge_tag", "q702"},
                      {"model", "K14"},
                      {"build", "2"},
                      {"revision", "30"},
                      {"serial", "VT14USB0001"},
                      {"capacity_sectors", 4096},
                      {"faults", faults}};
        std::string error;
        backend_ = sim::MakeBench({{"drives", json::array({drive})}}, error);
        ASSERT_TRUE(backend_) << error;
        device_ = std::make_unique<serve::BulkOnlyDevice>(sim::BenchOf(*backend_).Drive(0),
                                                          backend_->Clock());
    }
    sim::VirtualDrive& Drive() { return sim::BenchOf(*backend_).Drive(0); }
    BulkAnswer Send(std::uint32_t length, bool in, std::vector<std::uint8_t> cdb,
                    std::span<const std::uint8_t> out = {}) {
        const auto cbw = serve::ParseCbw(Cbw(7, length, in, std::move(cdb)));
        EXPECT_TRUE(cbw);
        return device_->Answer(*cbw, out);
    }

    std::unique_ptr<platform::BenchBackend> backend_;
    std::unique_ptr<serve::BulkOnlyDevice> device_;
};

TEST_F(BulkOnlyDrive, SendsTheHostsWholeLengthAndSaysWhatWasShort) {
    Load();
    // usb-storage's first INQUIRY asks 36 bytes; a longer request gets the rest padded.
    const auto first = Send(36, true, {0x12, 0, 0, 0, 36, 0});
    EXPECT_EQ(first.status, CswStatus::Passed);
    ASSERT_EQ(first.data.size(), 36u);
    EXPECT_EQ(first.residue, 0u);
    EXPECT_TRUE(std::equal(first.data.begin(), first.data.end(), Drive().Config().inquiry.begin()));

    const auto padded = Send(1024, true, {0x12, 0, 0, 0x04, 0x00, 0});
    ASSERT_EQ(padded.data.size(), 1024u);
    const std::size_t inquiry = Drive().Config().inquiry.size();
    EXPECT_EQ(padded.residue, 1024u - inquiry);
    EXPECT_TRUE(std::all_of(padded.data.begin() + static_cast<std::ptrdiff_t>(inquiry),
                            padded.data.end(), [](std::uint8_t b) { return b == 0; }));

    // ATA PASS-THROUGH(12) IDENTIFY through the bridge, and a write that lands.
    const auto identify = Send(512, true, {0xA1, 4 << 1, 0x0E, 0, 1, 0, 0, 0, 0, 0xEC, 0, 0});
    EXPECT_EQ(identify.status, CswStatus::Passed);
    EXPECT_EQ(identify.data, Drive().CurrentIdentify());
    const std::vector<std::uint8_t> sector(512, 0x5A);
    const auto written = Send(512, false, {0x2A, 0, 0, 0, 0, 9, 0, 0, 1, 0}, sector);
    EXPECT_EQ(written.status, CswStatus::Passed);
    EXPECT_TRUE(written.data.empty());
    EXPECT_EQ(Drive().ReadUserSectors(9, 1), sector);
}

TEST_F(BulkOnlyDrive, KeepsTheSenseOfAFailureUntilTheHostAsks) {
    Load();
    const auto refused = Send(8, true, {0x4D, 0, 0x00, 0, 0, 0, 0, 0, 8, 0});  // LOG SENSE
    EXPECT_EQ(refused.status, CswStatus::Failed);
    EXPECT_EQ(refused.residue, 8u);
    EXPECT_EQ(refused.data.size(), 8u);

    const auto sense = Send(18, true, {0x03, 0, 0, 0, 18, 0});
    EXPECT_EQ(sense.status, CswStatus::Passed);
    ASSERT_EQ(sense.data.size(), 18u);
    EXPECT_EQ(sense.data[0], 0x70);
    EXPECT_EQ(sense.data[2], 0x05);   // ILLEGAL REQUEST
    EXPECT_EQ(sense.data[12], 0x20);  // invalid command operation code
    // Asked once, it is gone; so is what a reset found.
    EXPECT_EQ(Send(18, true, {0x03, 0, 0, 0, 18, 0}).data[2], 0x00);
    Send(8, true, {0x4D, 0, 0x00, 0, 0, 0, 0, 0, 8, 0});
    device_->Reset();
    EXPECT_EQ(Send(18, true, {0x03, 0, 0, 0, 18, 0}).data[2], 0x00);

    // The allocation length bounds the sense: the rest of the host's length is residue.
    Send(8, true, {0x4D, 0, 0x00, 0, 0, 0, 0, 0, 8, 0});
    const auto short_sense = Send(96, true, {0x03, 0, 0, 0, 8, 0});
    EXPECT_EQ(short_sense.data.size(), 96u);
    EXPECT_EQ(short_sense.residue, 88u);
    EXPECT_EQ(short_sense.data[2], 0x05);
    EXPECT_EQ(short_sense.data[12], 0x00);
}

TEST_F(BulkOnlyDrive, WithholdsAndGoesAsTheBenchFileSays) {
    Load(json::array({{{"op", "scsi:00"}, {"count", 1}, {"effect", "timeout"}},
                      {{"op", "scsi:25"}, {"effect", "gone"}}}));
    EXPECT_EQ(Send(0, false, {0x00, 0, 0, 0, 0, 0}).kind, BulkAnswer::Kind::Withheld);
    EXPECT_EQ(Send(0, false, {0x00, 0, 0, 0, 0, 0}).kind, BulkAnswer::Kind::Status);
    EXPECT_EQ(Send(8, true, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}).kind, BulkAnswer::Kind::Gone);
    EXPECT_EQ(Send(0, false, {0x00, 0, 0, 0, 0, 0}).kind, BulkAnswer::Kind::Gone);
}

TEST_F(BulkOnlyDrive, RefusesADataPhaseBeyondItsLimit) {
    Load();
    const auto huge = Send(serve::kMaxBulkTransfer + 512, true, {0x28, 0, 0, 0, 0, 0, 0, 8, 0, 0});
    EXPECT_EQ(huge.status, CswStatus::PhaseError);
    EXPECT_TRUE(huge.data.empty());
    EXPECT_TRUE(Drive().State().log.empty());  // never reached the drive
}

TEST(MassStorageFunction, DescribesOneBulkOnlyInterfaceAtBothSpeeds) {
    const auto blob = serve::MassStorageDescriptors();
    ASSERT_EQ(blob.size(), 20u + 2 * (9 + 7 + 7));
    EXPECT_EQ(blob[0], 3);  // FunctionFS descriptors, second format
    EXPECT_EQ(blob[4] | blob[5] << 8, static_cast<int>(blob.size()));
    for (const std::size_t at : {std::size_t{20}, std::size_t{43}}) {
        EXPECT_EQ(blob[at + 1], 4);  // interface
        EXPECT_EQ(blob[at + 4], 2);  // endpoints
        EXPECT_EQ(blob[at + 5], 0x08);
        EXPECT_EQ(blob[at + 6], 0x06);
        EXPECT_EQ(blob[at + 7], 0x50);
        EXPECT_EQ(blob[at + 11], 0x81);  // bulk-in first: the function's ep1
        EXPECT_EQ(blob[at + 18], 0x02);
    }
    EXPECT_EQ(blob[20 + 13] | blob[20 + 14] << 8, 64);   // full speed
    EXPECT_EQ(blob[43 + 13] | blob[43 + 14] << 8, 512);  // high speed

    const auto strings = serve::FunctionStrings("Bulk-Only");
    EXPECT_EQ(strings.size(), 16u + 2 + 10);
    EXPECT_EQ(strings.back(), 0);
}

TEST(MassStorageFunction, AnswersItsTwoClassRequestsAndStallsTheRest) {
    const auto max_lun = serve::AnswerSetup({0xA1, 0xFE, 0, 0, 1});
    EXPECT_EQ(max_lun.kind, serve::SetupAnswer::Kind::Data);
    EXPECT_EQ(max_lun.data, std::vector<std::uint8_t>{0});
    const auto reset = serve::AnswerSetup({0x21, 0xFF, 0, 0, 0});
    EXPECT_EQ(reset.kind, serve::SetupAnswer::Kind::Ack);
    EXPECT_TRUE(reset.reset);
    // Wrong direction, wrong length, a request of another class: stalled.
    EXPECT_EQ(serve::AnswerSetup({0x21, 0xFE, 0, 0, 1}).kind, serve::SetupAnswer::Kind::Stall);
    EXPECT_EQ(serve::AnswerSetup({0x21, 0xFF, 0, 0, 4}).kind, serve::SetupAnswer::Kind::Stall);
    EXPECT_EQ(serve::AnswerSetup({0xA1, 0xFE, 0, 0, 0}).kind, serve::SetupAnswer::Kind::Stall);
    EXPECT_EQ(serve::AnswerSetup({0xA1, 0x01, 0, 0, 1}).kind, serve::SetupAnswer::Kind::Stall);
}

}  // namespace
}  // namespace vt
