#include "access/request_outcome.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/privileges.h"
#include "platform/sat_sense.h"

namespace vt {
namespace {

template <typename DeviceRequest>
CommandOutcome OutcomeOfRequest(int error, const DeviceRequest& request) {
    CommandOutcome outcome;
    outcome.sys_error = error;
    if (error != 0) return outcome;
    outcome.ended = request.outcome;
    const auto sense = request.Sense();
    outcome.ended.sense_length = std::min(sense.size(), outcome.sense.size());
    std::copy_n(sense.begin(), outcome.ended.sense_length, outcome.sense.begin());
    return outcome;
}

// The register file an answer carries: an ATA request's own, or the one in the sense data.
std::optional<platform::AtaRegisters> ReturnedRegisters(const CommandOutcome& outcome) {
    if (const auto& r = outcome.registers)
        return platform::AtaRegisters{(*r)[0], (*r)[1], (*r)[2], (*r)[3],
                                      (*r)[4], (*r)[5], (*r)[6]};
    return platform::AtaStatusReturn(outcome.Sense());
}

}  // namespace

CommandOutcome OutcomeOf(int error, const platform::ScsiRequest& request) {
    return OutcomeOfRequest(error, request);
}

CommandOutcome OutcomeOf(int error, const platform::AtaRequest& request) {
    CommandOutcome outcome = OutcomeOfRequest(error, request);
    if (error != 0) return outcome;
    if (request.registers_returned) outcome.registers = request.registers;
    outcome.refused = request.refused;
    return outcome;
}

std::uint32_t TimeoutMs(int timeout_seconds) {
    const unsigned long long ms =
        static_cast<unsigned long long>(std::max(timeout_seconds, 0)) * 1000;
    return ms > UINT_MAX ? UINT_MAX : static_cast<std::uint32_t>(ms);
}

CommandOutcome SendScsiRequest(platform::DeviceHandle& device, std::span<const std::uint8_t> cdb,
                               platform::Direction direction, std::span<std::uint8_t> data,
                               int timeout_seconds) {
    std::array<std::uint8_t, kSenseLength> sense{};
    platform::ScsiRequest request;
    request.SetCdb(cdb);
    request.direction = direction;
    if (direction != platform::Direction::None) request.data = data;
    request.sense = sense;
    request.timeout_ms = TimeoutMs(timeout_seconds);
    return OutcomeOf(device.ScsiPassThrough(request), request);
}

bool CommandSucceeded(const CommandOutcome& outcome, bool ata_passthrough_cdb) {
    if (outcome.sys_error != 0) return false;
    if (ata_passthrough_cdb && !outcome.TransportFailed()) {
        if (const auto regs = ReturnedRegisters(outcome))
            return (regs->status & platform::kAtaStatusErr) == 0;
    }
    return platform::EndedWithoutError(outcome.ended, outcome.Sense());
}

std::string DescribeOutcome(const CommandOutcome& outcome) {
    static constexpr const char* kKeys[16] = {
        "NO SENSE",       "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
        "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
        "BLANK CHECK",    "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
        "EQUAL",          "VOLUME OVERFLOW", "MISCOMPARE",     "COMPLETED"};
    char text[160];
    if (outcome.sys_error != 0)
        return std::string("request refused: ") + std::strerror(outcome.sys_error);
    if (outcome.TimedOut()) return "no answer within the time-out";
    if (outcome.TransportFailed()) return "the kernel reported a transport failure";
    std::string description;
    if (const auto sense = platform::DecodeSense(outcome.Sense())) {
        std::snprintf(text, sizeof text, "%s, ASC %2.2Xh, ASCQ %2.2Xh", kKeys[sense->key & 0x0F],
                      sense->asc, sense->ascq);
        description = text;
    } else if (outcome.ended.scsi_status != 0) {
        std::snprintf(text, sizeof text, "SCSI status %2.2Xh", outcome.ended.scsi_status);
        description = text;
    }
    if (const auto regs = ReturnedRegisters(outcome)) {
        std::snprintf(text, sizeof text, "%sATA status %2.2Xh, error %2.2Xh%s",
                      description.empty() ? "" : "; ", regs->status, regs->error,
                      (regs->status & 1) && (regs->error & 0x04) ? " (ABORTED)" : "");
        description += text;
    }
    return description.empty() ? "completed" : description;
}

std::string RightsMessage(const std::string& path, int error) {
    const std::string start =
        "No permission to send commands to " + path + " (" + std::strerror(error) + ")";
    // The kernel lets ATA PASS-THROUGH(16) and vendor opcodes through SG_IO only with this
    // capability, even to root; a service's bounding set or a container may have dropped it.
    if (platform::RunsAsRoot() && error == EPERM && !platform::HasRawAccess()) {
        return start +
               ", although the tool runs as root: it lacks the capability CAP_SYS_RAWIO "
               "that raw drive commands need.";
    }
    if (platform::RunsAsRoot()) {
        return start + ", although the tool runs as " + platform::PrivilegedAccountName() +
               ": the system refuses raw access to this device "
               "(a security module, a container's device rules or the device's own policy).";
    }
    return start + ": " + platform::HowToGetRawAccess() + ".";
}

bool IsRightsError(int error) {
    return error == EACCES || error == EPERM;
}

}  // namespace vt
