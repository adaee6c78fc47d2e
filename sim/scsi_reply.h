#pragma once
// How a command ends at the SCSI level: status, sense data, the data moved, or a command that never
// completes. Front ends build one; the drive writes it into the request's outcome.

#include <cstdint>
#include <optional>

#include "sim/bytes.h"
#include "sim/faults.h"

namespace vt::sim {

inline constexpr std::uint8_t kGood = 0x00;
inline constexpr std::uint8_t kCheckCondition = 0x02;

inline constexpr std::uint8_t kKeyRecovered = 0x01;
inline constexpr std::uint8_t kKeyIllegalRequest = 0x05;
inline constexpr std::uint8_t kKeyDataProtect = 0x07;
inline constexpr std::uint8_t kKeyAborted = 0x0B;

inline constexpr std::uint8_t kAscInvalidOpcode = 0x20;
inline constexpr std::uint8_t kAscLbaOutOfRange = 0x21;
inline constexpr std::uint8_t kAscInvalidField = 0x24;
inline constexpr std::uint8_t kAscWriteProtected = 0x27;
inline constexpr std::uint8_t kAscqSpaceAllocationFailed = 0x07;

struct ScsiReply {
    std::uint8_t status = kGood;
    Bytes sense;
    std::size_t transferred = 0;      // bytes moved in the data phase
    std::optional<FaultEffect> lost;  // Timeout or Gone: the command never completed
};

// The register file after an ATA command.
struct AtaOutput {
    std::uint8_t error = 0, count = 0, lba_low = 0, lba_mid = 0, lba_high = 0, device = 0;
    std::uint8_t status = 0x50;  // DRDY | DSC
};

ScsiReply CheckCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0);
// Descriptor sense with the ATA Status Return descriptor, as libata answers ATA PASS-THROUGH.
Bytes AtaReturnSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, const AtaOutput& regs);

}  // namespace vt::sim
