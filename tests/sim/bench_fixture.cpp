#include "tests/sim/bench_fixture.h"

#include <algorithm>

#include "access/device_tables.h"
#include "access/dispatch.h"

namespace vt::test {

CarrierOpcodes OpcodesOf(int carrier_mode) {
    switch (carrier_mode) {
        case 2:
            return {0x88, 0x86, 0x16, 0x14};
        case 1:
            return {0x8F, 0x8A, 0x0A, 0x08};
        default:
            return {0xC5, 0xC4, 0x0A, 0x08};
    }
}

BenchTest::~BenchTest() {
    if (backend_ != nullptr) platform::Install(std::move(previous_));
    for (auto& entry : DeviceTable) entry = DeviceEntry{};
}

void BenchTest::Install(const nlohmann::json& drives) {
    std::string error;
    auto backend = sim::MakeBench({{"drives", drives}}, error);
    ASSERT_TRUE(backend) << error;
    Install(std::move(backend));
}

void BenchTest::Install(std::unique_ptr<platform::BenchBackend> backend) {
    if (backend_ != nullptr) platform::Install(std::move(previous_));  // a second bench in one test
    backend_ = backend.get();
    previous_ = platform::Install(std::move(backend));
    for (std::size_t i = 0; i < bench().DiskCount() && i < kMaxDevices; ++i) {
        DeviceEntry& entry = DeviceTable[i];
        entry = DeviceEntry{};
        entry.DevicePath = bench().PathOf(i);
        const auto& config = drive(i).Config();
        entry.AtaPassThrough = config.bus == "ide" ? 1 : 0;
        entry.DirectVendorCdb = config.bridge == sim::Bridge::Older ? 1 : 0;
    }
}

int BenchTest::Unlock(unsigned device) {
    const Block block = {0xA1, 0x06, 0x00, 0xDC, 0x56, 0, 0, 0, 0xE0, 0xEF, 0, 0};
    return DispatchCommand(device, false, block, {}, 0);
}

int BenchTest::CarrierWrite(unsigned device, std::uint8_t lba_low, std::span<std::uint8_t> data,
                            unsigned sectors, int carrier_mode) {
    const auto op = OpcodesOf(carrier_mode);
    const Block block = {
        0xA1, op.protocol_out, 0x03, 0, static_cast<std::uint8_t>(sectors), lba_low, 0x34, 0x12,
        0xE0, op.write,        0,    0};
    return DispatchCommand(device, false, block, data, static_cast<int>(sectors * 512));
}

int BenchTest::CarrierRead(unsigned device, std::uint8_t lba_low, std::span<std::uint8_t> data,
                           unsigned sectors, int carrier_mode) {
    const auto op = OpcodesOf(carrier_mode);
    const Block block = {
        0xA1, op.protocol_in, 0x0B, 0, static_cast<std::uint8_t>(sectors), lba_low, 0x34, 0x12,
        0xE0, op.read,        0,    0};
    return DispatchCommand(device, true, block, data, static_cast<int>(sectors * 512));
}

bool BenchTest::Vendor(unsigned device, std::array<std::uint8_t, 16> block, bool data_in,
                       std::span<std::uint8_t> data, unsigned sectors, int carrier_mode) {
    if (DeviceTable[device].DirectVendorCdb) {
        block[1] = 0x04;
        return DispatchCommand(device, data_in, std::span(block).first(12), data,
                               static_cast<int>(sectors * 512)) == 1;
    }
    block[1] = 0xE5;
    std::array<std::uint8_t, 512> command{};
    std::copy(block.begin(), block.end(), command.begin());
    if (CarrierWrite(device, 0xFF, command, 1, carrier_mode) != 1) return false;
    if (sectors == 0) return true;
    return (data_in ? CarrierRead(device, block[2], data, sectors, carrier_mode)
                    : CarrierWrite(device, block[2], data, sectors, carrier_mode)) == 1;
}

int BenchTest::Identify(unsigned device, std::span<std::uint8_t, 512> data) {
    const Block block = {0xA1, 0x08, 0x0B, 0, 1, 0, 0, 0, 0xE0, 0xEC, 0, 0};
    return DispatchCommand(device, true, block, data, 512);
}

bool BenchTest::StatusSignature(unsigned device) {
    std::array<std::uint8_t, 512> status{};
    if (CarrierRead(device, 0xFF, status, 1) != 1) return false;
    return status[0] == 0xE5 && status[1] == 0x56 && status[2] == 0x54 && status[3] == 0x00;
}

std::array<std::uint8_t, 16> VendorBlock(std::uint8_t code,
                                         std::initializer_list<std::uint8_t> parameters) {
    std::array<std::uint8_t, 16> block{};
    block[0] = 0xFF;
    block[2] = code;
    std::size_t at = 3;
    for (const auto p : parameters) {
        if (at < block.size()) block[at++] = p;
    }
    return block;
}

std::string ModelOf(std::span<const std::uint8_t> identify) {
    std::string model;
    for (std::size_t i = 0; i < 40; ++i) model.push_back(static_cast<char>(identify[54 + (i ^ 1)]));
    while (!model.empty() && model.back() == ' ') model.pop_back();
    return model;
}

}  // namespace vt::test
