#pragma once
// One disk of the bench: its attachment (an ATA host, a USB bridge), the controller behind it with
// its firmware and loader, and the state both keep while the bench runs.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "platform/bench_backend.h"
#include "sim/command_log.h"
#include "sim/drive_config.h"
#include "sim/faults.h"

namespace vt::sim {

inline constexpr std::size_t kSectorSize = 512;

// A vendor command block that arrived in a command sector and waits for its data phase.
struct PendingVendorCommand {
    std::array<std::uint8_t, 16> block{};
};

struct DriveState {
    ControllerMode mode = ControllerMode::Firmware;
    bool unlocked = false;        // the vendor unlock since the controller last started
    bool download_armed = false;  // mode 10 was set: program RAM takes a code image
    bool smart_enabled = true;
    bool gone = false;
    std::optional<PendingVendorCommand> pending;
    std::map<std::uint64_t, std::array<std::uint8_t, kSectorSize>> user_sectors;  // written only
    std::map<std::uint8_t, SparseBytes> memory;
    std::map<std::uint32_t, std::uint8_t> registers;
    SmartCounters counters;
    std::vector<LoggedCommand> log;
    FaultSet faults;
};

class VirtualDrive {
  public:
    explicit VirtualDrive(DriveConfig config);

    const DriveConfig& Config() const { return config_; }
    DriveState& State() { return state_; }
    const DriveState& State() const { return state_; }

    // Whether the disk can be opened now.
    bool Opens() const { return config_.state != DiskState::Gone && !state_.gone; }
    // One SCSI request, as the kernel and this disk together answer it. Returns 0 or the errno
    // value of a request the kernel refuses (ENODEV: the disk is gone).
    int Execute(platform::ScsiRequest& request, platform::VirtualClock& clock);

    // User data, for tests of the read/write self-test. Sectors never written read as 0.
    Bytes ReadUserSectors(std::uint64_t lba, std::uint32_t count) const;
    void WriteUserSectors(std::uint64_t lba, std::span<const std::uint8_t> data);
    // Controller memory as the drive holds it now (program RAM included).
    Bytes ReadMemory(std::uint8_t space, std::uint32_t address, std::size_t length) const;

    // The IDENTIFY (and INQUIRY, for an older bridge) data of whatever the controller runs now.
    const Bytes& CurrentIdentify() const;
    const Bytes& CurrentInquiry() const;
    // The SMART sectors as they read now.
    Bytes SmartData() const;
    Bytes SmartThresholds() const;
    Bytes BridgeSmart() const;

  private:
    DriveConfig config_;
    DriveState state_;
};

}  // namespace vt::sim
