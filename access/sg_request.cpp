#include "access/sg_request.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/privileges.h"

namespace vt {
namespace {

constexpr unsigned char kDidTimeOut = 0x03;
constexpr unsigned char kDriverTimeout = 0x06;
constexpr unsigned char kDriverStatusMask = 0x07;  // DRIVER_SENSE (08h) is no failure

}  // namespace

SgOutcome SendSgRequest(platform::DeviceHandle& device, std::span<const std::uint8_t> cdb,
                        DataDirection direction, std::span<std::uint8_t> data,
                        unsigned timeout_seconds) {
    SgOutcome outcome;
    std::array<std::uint8_t, 16> command{};
    const std::size_t cdb_length = std::min(cdb.size(), command.size());
    std::copy_n(cdb.begin(), cdb_length, command.begin());

    sg_io_hdr_t request{};
    request.interface_id = 'S';
    request.cmdp = command.data();
    request.cmd_len = static_cast<unsigned char>(cdb_length);
    request.sbp = outcome.sense.data();
    request.mx_sb_len = static_cast<unsigned char>(outcome.sense.size());
    switch (direction) {
        case DataDirection::None:
            request.dxfer_direction = SG_DXFER_NONE;
            break;
        case DataDirection::In:
            request.dxfer_direction = SG_DXFER_FROM_DEV;
            break;
        case DataDirection::Out:
            request.dxfer_direction = SG_DXFER_TO_DEV;
            break;
    }
    if (direction != DataDirection::None) {
        request.dxferp = data.data();
        request.dxfer_len = static_cast<unsigned>(data.size());
    }
    const unsigned long long ms = static_cast<unsigned long long>(timeout_seconds) * 1000;
    request.timeout = ms > UINT_MAX ? UINT_MAX : static_cast<unsigned>(ms);

    outcome.sys_error = device.SgIo(request);
    if (outcome.sys_error != 0) return outcome;
    outcome.scsi_status = request.status;
    outcome.sense_length = std::min<std::size_t>(request.sb_len_wr, outcome.sense.size());
    outcome.residual = request.resid;
    outcome.timed_out = request.host_status == kDidTimeOut ||
                        (request.driver_status & kDriverStatusMask) == kDriverTimeout;
    outcome.transport_failed =
        request.host_status != 0 || (request.driver_status & kDriverStatusMask) != 0;
    return outcome;
}

bool CommandSucceeded(const SgOutcome& outcome, bool ata_passthrough_cdb) {
    if (outcome.sys_error != 0 || outcome.transport_failed) return false;
    if (ata_passthrough_cdb) {
        if (const auto regs = AtaStatusReturn(outcome.Sense())) return (regs->status & 0x01) == 0;
    }
    if (outcome.scsi_status == 0x00) return true;
    if (!outcome.CheckCondition()) return false;
    const auto sense = DecodeSense(outcome.Sense());
    return sense && (sense->key == kSenseNoSense || sense->key == kSenseRecoveredError);
}

std::string DescribeOutcome(const SgOutcome& outcome) {
    static constexpr const char* kKeys[16] = {
        "NO SENSE",       "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
        "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
        "BLANK CHECK",    "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
        "EQUAL",          "VOLUME OVERFLOW", "MISCOMPARE",     "COMPLETED"};
    char text[160];
    if (outcome.sys_error != 0)
        return std::string("request refused: ") + std::strerror(outcome.sys_error);
    if (outcome.timed_out) return "no answer within the time-out";
    if (outcome.transport_failed) return "the kernel reported a transport failure";
    std::string description;
    if (const auto sense = DecodeSense(outcome.Sense())) {
        std::snprintf(text, sizeof text, "%s, ASC %2.2Xh, ASCQ %2.2Xh", kKeys[sense->key & 0x0F],
                      sense->asc, sense->ascq);
        description = text;
    } else if (outcome.scsi_status != 0) {
        std::snprintf(text, sizeof text, "SCSI status %2.2Xh", outcome.scsi_status);
        description = text;
    }
    if (const auto regs = AtaStatusReturn(outcome.Sense())) {
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
        return start +
               ", although the tool runs as root: the system refuses raw access to this device "
               "(a security module, a container's device rules or the device's own policy).";
    }
    return start + ": raw drive access needs root (run the tool as root, for example with sudo).";
}

bool IsRightsError(int error) {
    return error == EACCES || error == EPERM;
}

}  // namespace vt
