#pragma once
// A virtual drive bench installed as the backend for a test's scope.

#include <nlohmann/json.hpp>

#include <memory>

#include "platform/bench_backend.h"
#include "sim/bench.h"

namespace vt::test {

class ScopedBench {
  public:
    // Installs a bench with these drives (the "drives" array of a bench file). When
    // `set_device_entries`, device i is pointed at disk i with the flags the scan gives its bus.
    explicit ScopedBench(const nlohmann::json& drives, bool set_device_entries = true);
    ~ScopedBench();
    ScopedBench(const ScopedBench&) = delete;
    ScopedBench& operator=(const ScopedBench&) = delete;

    sim::Bench& bench() { return sim::BenchOf(*backend_); }
    platform::VirtualClock& clock() { return backend_->Clock(); }
    // ATA commands (carrier opcodes included) that reached the disk.
    std::size_t AtaCommands(std::size_t disk);
    std::vector<sim::LoggedCommand> Vendor(std::size_t disk) { return bench().VendorLog(disk); }

  private:
    platform::BenchBackend* backend_ = nullptr;
    std::unique_ptr<platform::Backend> previous_;
};

}  // namespace vt::test
