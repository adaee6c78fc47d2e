#pragma once
// Building one SG_IO request and reading how it ended; shared by the ATA and SCSI transports.

#include <array>
#include <cerrno>
#include <cstdint>
#include <span>
#include <string>

#include "access/sat_sense.h"
#include "platform/backend.h"

namespace vt {

enum class DataDirection { None, In, Out };

struct SgOutcome {
    int sys_error = 0;              // errno of the ioctl (or of the open), 0 when it went through
    bool transport_failed = false;  // host or driver reported a failure, the time-out included
    bool timed_out = false;
    std::uint8_t scsi_status = 0;
    std::array<std::uint8_t, 32> sense{};
    std::size_t sense_length = 0;
    int residual = 0;

    std::span<const std::uint8_t> Sense() const { return {sense.data(), sense_length}; }
    bool CheckCondition() const { return scsi_status == 0x02; }
};

// Sends one request: the CDB, the direction, the data buffer and the time-out in seconds.
SgOutcome SendSgRequest(platform::DeviceHandle& device, std::span<const std::uint8_t> cdb,
                        DataDirection direction, std::span<std::uint8_t> data,
                        unsigned timeout_seconds);

// A device-ended command counts as done only when the device says so: GOOD, or CHECK CONDITION
// with NO SENSE or RECOVERED ERROR. For ATA pass-through CDBs the ATA STATUS register decides
// wherever the answer carries one.
bool CommandSucceeded(const SgOutcome& outcome, bool ata_passthrough_cdb);

// A technician's description of why a request failed: the errno, the kernel's time-out, or the
// device's sense key with its additional sense code, and the ATA registers where they came back.
std::string DescribeOutcome(const SgOutcome& outcome);

// The rights message shown instead of an unexplained empty list.
// `error`: the refusal's errno. Running as root already, the message says the system refuses
// the access rather than asking for root.
std::string RightsMessage(const std::string& path, int error = EACCES);
// True for the errno values that mean "not allowed" (EACCES, EPERM).
bool IsRightsError(int error);

}  // namespace vt
