#pragma once
// The recording layer of `vtutil capture`: a backend around the one in use that passes every
// request on, notes what the drive answered (decoded into the raw keys of a bench file) and refuses
// anything that would change the drive. Failed reads become fault entries that fail the same read
// again when the capture is replayed.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/forwarding_backend.h"
#include "sim/bench_writer.h"

namespace vt::capture {

enum class RecordedMode { Unknown, Firmware, Loader, Program };

// What one disk answered, as the recorder saw it.
struct DriveRecording {
    sim::RawDrive raw;  // bus, bridge and the serial redaction are the caller's
    RecordedMode initial_mode = RecordedMode::Unknown;
    RecordedMode mode = RecordedMode::Unknown;
    std::size_t answers = 0;           // successful reads kept
    std::size_t failures = 0;          // failed commands, each a fault entry
    std::vector<std::string> refused;  // commands that were not sent, described
    bool vendor_answered = false;
    bool vendor_asked = false;  // an unlock, a command sector or a vendor block was sent

    // Bookkeeping of the request stream.
    std::optional<std::array<std::uint8_t, 16>> pending;  // command sector awaiting its data
    std::uint64_t pending_index = 0;                      // its place among its code's blocks
    std::map<std::uint8_t, std::uint64_t> ata_seen, vendor_seen, scsi_seen;
    std::map<std::uint8_t, std::vector<std::pair<std::uint64_t, std::uint64_t>>> written;
    std::vector<std::pair<RecordedMode, sim::Bytes>> inquiries;
};

class CaptureRecorder final : public platform::ForwardingBackend {
  public:
    explicit CaptureRecorder(std::unique_ptr<platform::Backend> inner);

    // Code loading (mode switch, program RAM writes, the jump) passes only while this is on: the
    // loader's firmware log needs its GDP program.
    void AllowCodeLoad(bool allow) { allow_code_load_ = allow; }
    // What the disk with this node answered so far; nullptr when it got no request.
    const DriveRecording* Recording(const std::string& node) const;

    int Open(const std::string& path) override;
    int ScsiPassThrough(int handle, platform::ScsiRequest& request) override;
    int AtaPassThrough(int handle, platform::AtaRequest& request) override;
    void Close(int handle) override;

  private:
    std::map<int, std::string> nodes_;  // open handle -> node
    std::map<std::string, DriveRecording> drives_;
    bool allow_code_load_ = false;
};

}  // namespace vt::capture
