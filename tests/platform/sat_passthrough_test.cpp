// ATA requests carried as ATA PASS-THROUGH(16): through the bench's translation layers and back,
// and the registers taken from whatever sense data a layer returns.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "platform/sat_passthrough.h"
#include "sim/bench.h"
#include "tests/support/fake_backend.h"

namespace vt::platform {
namespace {

int Send(Backend& backend, const std::string& path, AtaRequest& request) {
    const int handle = backend.Open(path);
    if (handle < 0) return -handle;
    const int result = backend.AtaPassThrough(handle, request);
    backend.Close(handle);
    return result;
}

AtaRequest NoData(std::uint8_t command) {
    AtaRequest request;
    request.task_file = {0, 0x12, 0x34, 0x56, 0x78, 0xE0, command, 0};
    request.timeout_ms = 10'000;
    return request;
}

TEST(SatPassThrough, RoundTripThroughTheBenchTranslationLayers) {
    const auto backend = sim::MakeDemoBench();
    std::array<std::uint8_t, 512> data{};
    AtaRequest identify;
    identify.task_file = {0, 1, 0, 0, 0, 0xA0, 0xEC, 0};
    identify.direction = Direction::In;
    identify.data = data;
    identify.timeout_ms = 10'000;
    ASSERT_EQ(Send(*backend, "ide:/dev/sda", identify), 0);
    EXPECT_TRUE(identify.registers_returned);
    EXPECT_FALSE(identify.refused);
    EXPECT_EQ(identify.registers[kTaskCommand], 0x50);
    const auto& expected = sim::BenchOf(*backend).Drive(0).CurrentIdentify();
    EXPECT_TRUE(std::equal(data.begin(), data.end(), expected.begin()));

    // The drive's own COUNT comes back (FFh: active), not the one sent.
    AtaRequest power = NoData(0xE5);
    ASSERT_EQ(Send(*backend, "ide:/dev/sda", power), 0);
    EXPECT_TRUE(power.registers_returned);
    EXPECT_EQ(power.registers[1], 0xFF);

    // An aborted command is the drive's answer, with its registers; an older bridge that takes no
    // ATA PASS-THROUGH at all refuses the request itself.
    AtaRequest unknown = NoData(0x01);
    ASSERT_EQ(Send(*backend, "ide:/dev/sda", unknown), 0);
    EXPECT_TRUE(unknown.registers_returned);
    EXPECT_FALSE(unknown.refused);
    EXPECT_EQ(unknown.registers[0] & 0x04, 0x04);
    EXPECT_EQ(unknown.registers[kTaskCommand] & kAtaStatusErr, kAtaStatusErr);
    AtaRequest bridged = NoData(0xE5);
    ASSERT_EQ(Send(*backend, "usb:/dev/sdf", bridged), 0);
    EXPECT_TRUE(bridged.refused);
    EXPECT_FALSE(bridged.registers_returned);
}

// A caller's sense buffer may be short or missing: the registers are read all the same.
TEST(SatPassThrough, RegistersSurviveAShortSenseBufferAndAreInferredWhereNoneCameBack) {
    test::FakeBackend fake;
    const int handle = fake.Open("ide:/dev/sda");
    fake.handler = [](const test::RecordedRequest&, ScsiRequest& r) {
        test::SetDescriptorAtaReturn(r, 0x04, 0x51);
        return 0;
    };
    std::array<std::uint8_t, 8> sense{};
    AtaRequest request = NoData(0xEF);
    request.sense = sense;
    ASSERT_EQ(fake.AtaPassThrough(handle, request), 0);
    EXPECT_TRUE(request.registers_returned);
    EXPECT_EQ(request.registers[0], 0x04);
    EXPECT_EQ(request.registers[kTaskCommand], 0x51);
    EXPECT_EQ(request.outcome.sense_length, sense.size());
    EXPECT_EQ(sense[0], 0x72);

    // No registers: GOOD reads as ready, anything else as aborted; the rest is the task file sent.
    const TaskFile sent = NoData(0xEF).task_file;
    for (const std::uint8_t key : {0x00, 0x0B}) {
        fake.handler = [key](const test::RecordedRequest&, ScsiRequest& r) {
            if (key != 0) test::SetFixedSense(r, {0x70, 0, key, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0});
            return 0;
        };
        request = NoData(0xEF);
        ASSERT_EQ(fake.AtaPassThrough(handle, request), 0);
        EXPECT_FALSE(request.registers_returned);
        EXPECT_FALSE(request.refused);
        EXPECT_EQ(request.registers[0], key == 0 ? 0x00 : 0x04);
        EXPECT_EQ(request.registers[kTaskCommand], key == 0 ? 0x50 : 0x51);
        EXPECT_TRUE(std::equal(sent.begin() + 1, sent.begin() + 6, request.registers.begin() + 1));
    }
}

}  // namespace
}  // namespace vt::platform
