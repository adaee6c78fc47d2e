#pragma once
// One disk of the bench: its attachment (an ATA host, a USB bridge), the controller behind it with
// its firmware and loader, and the state both keep while the bench runs.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/bench_backend.h"
#include "sim/command_log.h"
#include "sim/drive_config.h"
#include "sim/faults.h"

namespace vt::sim {

inline constexpr std::size_t kSectorSize = 512;
// The log keeps at least this many of the latest commands and at most twice as many.
inline constexpr std::size_t kLoggedCommandsKept = 8192;
// The sectors of user data the drives of one bench keep together (128 MiB): a write that would keep
// more is refused, as a thinly provisioned disk refuses one it has no space left for.
inline constexpr std::uint64_t kMaxWrittenSectors = 262144;

// Written sectors held, shared by the drives of one bench.
struct WrittenSectors {
    std::uint64_t held = 0;
    std::uint64_t limit = kMaxWrittenSectors;
};

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
    // Sectors written with anything but zeros; the others read as 0.
    std::map<std::uint64_t, std::array<std::uint8_t, kSectorSize>> user_sectors;
    std::map<std::uint8_t, SparseBytes> memory;
    std::map<std::uint32_t, std::uint8_t> registers;
    SmartCounters counters;
    std::vector<LoggedCommand> log;  // the latest commands, oldest first
    FaultSet faults;

    // Appends to the log, dropping the oldest commands past kLoggedCommandsKept.
    void Record(const LoggedCommand& command);
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

    // User data. Sectors never written read as 0. A write that would take the sectors held past
    // their limit writes nothing and returns false.
    Bytes ReadUserSectors(std::uint64_t lba, std::uint32_t count) const;
    bool WriteUserSectors(std::uint64_t lba, std::span<const std::uint8_t> data);
    // Counts this drive's written sectors with other drives' (a bench's), from before any write.
    void ShareWrittenSectors(std::shared_ptr<WrittenSectors> written) {
        written_ = std::move(written);
    }
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
    std::shared_ptr<WrittenSectors> written_ = std::make_shared<WrittenSectors>();
};

}  // namespace vt::sim
