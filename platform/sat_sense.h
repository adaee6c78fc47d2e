#pragma once
// Sense data as the kernel and SCSI/ATA translation layers return it, and the ATA register file
// inside it (the answer of an ATA PASS-THROUGH command sent with CK_COND).

#include <cstdint>
#include <optional>
#include <span>

#include "platform/device_request.h"

namespace vt::platform {

inline constexpr std::uint8_t kSenseNoSense = 0x0;
inline constexpr std::uint8_t kSenseRecoveredError = 0x1;
inline constexpr std::uint8_t kSenseIllegalRequest = 0x5;
inline constexpr std::uint8_t kSenseAbortedCommand = 0xB;

struct SenseInfo {
    std::uint8_t response_code = 0;  // 70h/71h fixed, 72h/73h descriptor
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
};

struct AtaRegisters {
    std::uint8_t error = 0;
    std::uint8_t count = 0;
    std::optional<std::uint8_t> lba_low, lba_mid, lba_high;  // not every layout carries them
    std::uint8_t device = 0;
    std::uint8_t status = 0;
};

// Response code, key and additional sense code; nullopt for empty or unrecognised sense data.
std::optional<SenseInfo> DecodeSense(std::span<const std::uint8_t> sense);

// The register file of an ATA PASS-THROUGH answer: the ATA Status Return descriptor (09h) of
// descriptor sense, or the fixed form, either as SAT lays it out (registers in the INFORMATION
// field, bytes 3-6) or as older Linux kernels wrote it (bytes 8-11). Nothing is read past the
// sense length the device reported.
std::optional<AtaRegisters> AtaStatusReturn(std::span<const std::uint8_t> sense);

// Whether a delivered SCSI command ended without error as its status and sense say: GOOD, or
// CHECK CONDITION with NO SENSE or RECOVERED ERROR.
bool EndedWithoutError(const RequestOutcome& outcome, std::span<const std::uint8_t> sense);

}  // namespace vt::platform
