#pragma once
// Sending one request and reading how it ended; shared by the ATA and SCSI transports.

#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/backend.h"

namespace vt {

inline constexpr std::size_t kSenseLength = 32;

// How a request ended, kept by value.
struct CommandOutcome {
    int sys_error = 0;  // errno of the request (or of the open), 0 when it went through
    platform::RequestOutcome ended;
    std::array<std::uint8_t, kSenseLength> sense{};  // ended.sense_length bytes of it
    std::optional<platform::TaskFile> registers;     // an ATA request's register file
    bool refused = false;                            // the device took no ATA pass-through

    std::span<const std::uint8_t> Sense() const {
        return {sense.data(), std::min(ended.sense_length, sense.size())};
    }
    bool CheckCondition() const { return ended.scsi_status == platform::kScsiCheckCondition; }
    bool TimedOut() const { return ended.transport == platform::Transport::TimedOut; }
    // The host adapter or its driver failed the request, the time-out included.
    bool TransportFailed() const { return ended.transport != platform::Transport::Delivered; }
};

CommandOutcome OutcomeOf(int error, const platform::ScsiRequest& request);
CommandOutcome OutcomeOf(int error, const platform::AtaRequest& request);

// A time-out in whole seconds as a request takes it.
std::uint32_t TimeoutMs(int timeout_seconds);

// Sends one SCSI request: the CDB, the direction, the data buffer and the time-out in seconds.
CommandOutcome SendScsiRequest(platform::DeviceHandle& device, std::span<const std::uint8_t> cdb,
                               platform::Direction direction, std::span<std::uint8_t> data,
                               int timeout_seconds);

// A device-ended command counts as done only when the device says so: GOOD, or CHECK CONDITION
// with NO SENSE or RECOVERED ERROR. For ATA pass-through CDBs the ATA STATUS register decides
// wherever the answer carries one.
bool CommandSucceeded(const CommandOutcome& outcome, bool ata_passthrough_cdb);

// A technician's description of why a request failed: the errno, the kernel's time-out, or the
// device's sense key with its additional sense code, and the ATA registers where they came back.
std::string DescribeOutcome(const CommandOutcome& outcome);

// The rights message shown instead of an unexplained empty list.
// `error`: the refusal's errno. Running as root already, the message says the system refuses
// the access rather than asking for root.
std::string RightsMessage(const std::string& path, int error = EACCES);
// True for the errno values that mean "not allowed" (EACCES, EPERM).
bool IsRightsError(int error);

}  // namespace vt
