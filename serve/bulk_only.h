#pragma once
// The USB mass-storage Bulk-Only Transport of a bridge: command block wrappers in, data and
// command status wrappers out. A Bulk-Only device has no sense data in its status: it keeps the
// sense of a failed command until the host asks with REQUEST SENSE, as every bridge does.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/bench_backend.h"
#include "sim/virtual_drive.h"

namespace vt::serve {

inline constexpr std::size_t kCbwLength = 31;
inline constexpr std::size_t kCswLength = 13;
// The largest data phase taken: usb-storage asks for at most 240 sectors; a pass-through request
// may ask a little more. Anything beyond is a phase error.
inline constexpr std::uint32_t kMaxBulkTransfer = 1u << 20;

enum class CswStatus : std::uint8_t { Passed = 0, Failed = 1, PhaseError = 2 };

struct CommandBlockWrapper {
    std::uint32_t tag = 0;
    std::uint32_t data_length = 0;
    bool data_in = false;  // the data phase runs from the device to the host
    std::uint8_t lun = 0;
    std::vector<std::uint8_t> cdb;  // 1-16 bytes, as long as the host said
};

// A valid and meaningful wrapper, or nullopt (wrong length or signature, a CDB length outside
// 1-16, reserved bits set, a LUN other than 0).
std::optional<CommandBlockWrapper> ParseCbw(std::span<const std::uint8_t> bytes);
std::array<std::uint8_t, kCswLength> MakeCsw(std::uint32_t tag, std::uint32_t residue,
                                             CswStatus status);

struct BulkAnswer {
    enum class Kind {
        Status,    // send `data` (data-in only: exactly the host's length), then the status
        Withheld,  // the drive never completes the command: send nothing
        Gone,      // the drive went away: the device leaves the bus
    } kind = Kind::Status;
    std::vector<std::uint8_t> data;
    std::uint32_t residue = 0;
    CswStatus status = CswStatus::Passed;
};

class BulkOnlyDevice {
  public:
    BulkOnlyDevice(sim::VirtualDrive& drive, platform::VirtualClock& clock)
        : drive_(drive), clock_(clock) {}

    // Runs one command. `out_data` is what the host sent in a data-out phase (exactly its length).
    BulkAnswer Answer(const CommandBlockWrapper& cbw, std::span<const std::uint8_t> out_data);
    // The host's Bulk-Only Mass Storage Reset: nothing of an earlier command is kept.
    void Reset() { sense_.clear(); }

  private:
    BulkAnswer RequestSense(const CommandBlockWrapper& cbw);

    sim::VirtualDrive& drive_;
    platform::VirtualClock& clock_;
    std::vector<std::uint8_t> sense_;  // of the last failed command, until asked for
};

}  // namespace vt::serve
