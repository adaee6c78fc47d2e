#pragma once
// A bench installed for one test, and the host's side of the vendor protocol built from the
// transports' own DispatchCommand, so the real request building and sense parsing run every time.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/bench_backend.h"
#include "sim/bench.h"

namespace vt::test {

using Block = std::array<std::uint8_t, 12>;

// Carrier opcodes by carrier mode: {write, read, protocol out, protocol in}.
struct CarrierOpcodes {
    std::uint8_t write, read, protocol_out, protocol_in;
};
CarrierOpcodes OpcodesOf(int carrier_mode);

class BenchTest : public ::testing::Test {
  protected:
    ~BenchTest() override;

    // Installs a bench with these drives and points device i of the device tables at disk i, with
    // the flags the device scan gives its bus (a supported bridge is reached through the carrier).
    void Install(const nlohmann::json& drives);
    void Install(std::unique_ptr<platform::BenchBackend> backend);
    sim::Bench& bench() { return sim::BenchOf(*backend_); }
    platform::VirtualClock& clock() { return backend_->Clock(); }
    sim::VirtualDrive& drive(std::size_t disk) { return bench().Drive(disk); }
    // Handles still open: every command closes its device.
    std::size_t OpenHandles() const { return backend_->OpenHandles(); }

    int Unlock(unsigned device);
    int CarrierWrite(unsigned device, std::uint8_t lba_low, std::span<std::uint8_t> data,
                     unsigned sectors, int carrier_mode = 2);
    int CarrierRead(unsigned device, std::uint8_t lba_low, std::span<std::uint8_t> data,
                    unsigned sectors, int carrier_mode = 2);
    // One vendor command: through a command sector and a data phase, or as a bridge's own CDB.
    bool Vendor(unsigned device, std::array<std::uint8_t, 16> block, bool data_in,
                std::span<std::uint8_t> data, unsigned sectors, int carrier_mode = 2);
    int Identify(unsigned device, std::span<std::uint8_t, 512> data);
    // The status sector starts with the signature.
    bool StatusSignature(unsigned device);

  private:
    std::unique_ptr<platform::Backend> previous_;
    platform::BenchBackend* backend_ = nullptr;
};

// A vendor command block with the route marker filled in by Vendor().
std::array<std::uint8_t, 16> VendorBlock(std::uint8_t code,
                                         std::initializer_list<std::uint8_t> parameters = {});
// The model string of IDENTIFY data (byte pairs swapped back, trailing blanks cut).
std::string ModelOf(std::span<const std::uint8_t> identify);

}  // namespace vt::test
