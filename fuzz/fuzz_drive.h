#pragma once
// The drives of the targets whose decoders read through commands: a drive of the demo bench, with
// regions the fuzzer's bytes overwrite, installed as device 0 and unlocked.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/backend.h"
#include "sim/bench.h"
#include "sim/drive_config.h"
#include "vendor/system_info.h"

namespace vt::fuzz {

// The demo bench's drives that answer the vendor protocol.
const std::vector<sim::DriveConfig>& VendorDrives();

// Drives of the same models on small flash, for the targets that read every table of a drive.
const std::vector<sim::DriveConfig>& SmallDrives();

// The system information a drive's loader block gives (drive: an index into VendorDrives()).
SystemInfoRecord DemoInfo(std::size_t drive);

// Edits until the input runs out: each picks a region of the drive (controller memory, a system
// page image, a bad-unit list, an erase count table, the serial flash, the DRAM layout record, the
// SMART sectors) and overwrites bytes at an offset, or replaces it, or cuts it.
void ApplyEdits(FuzzedDataProvider& input, sim::DriveConfig& config);

// The drive as device 0 on a bench of its own, unlocked; the previous backend comes back after.
class InstalledDrive {
  public:
    explicit InstalledDrive(sim::DriveConfig config);
    ~InstalledDrive();
    InstalledDrive(const InstalledDrive&) = delete;
    InstalledDrive& operator=(const InstalledDrive&) = delete;

    // The drive's configuration as the bench holds it.
    const sim::DriveConfig& Config() const;

  private:
    std::unique_ptr<platform::Backend> previous_;
    sim::Bench* bench_ = nullptr;
};

// Bytes at the front of a span, at most `n`.
inline std::span<const std::uint8_t> Front(std::span<const std::uint8_t> bytes, std::size_t n) {
    return bytes.first(n < bytes.size() ? n : bytes.size());
}

}  // namespace vt::fuzz
