#pragma once
// The controller seen through its ATA port: the standard commands it answers, the vendor unlock,
// and the carrier that takes vendor command blocks in ordinary-looking data transfers.

#include <cstdint>
#include <span>

#include "sim/command_log.h"
#include "sim/scsi_reply.h"
#include "sim/virtual_drive.h"

namespace vt::sim {

struct AtaInput {
    std::uint8_t features = 0, count = 0, lba_low = 0, lba_mid = 0, lba_high = 0, device = 0;
    std::uint8_t command = 0;
    // A 48-bit request (EXTEND): SECTOR COUNT bits 8-15 and LBA bits 24-47.
    bool extended = false;
    std::uint8_t count_high = 0, lba_low_high = 0, lba_mid_high = 0, lba_high_high = 0;
};

struct AtaResult {
    bool ok = true;
    AtaOutput registers;
    std::optional<FaultEffect> lost;
};

// The carrier address: LBA HIGH 12h, LBA MID 34h; LBA LOW FFh for the command and status sectors,
// the sub-command code for the data phase.
inline constexpr std::uint8_t kCarrierLbaHigh = 0x12;
inline constexpr std::uint8_t kCarrierLbaMid = 0x34;
inline constexpr std::uint8_t kCarrierCommandLba = 0xFF;
inline constexpr std::uint32_t kCarrierMaxSectors = 128;

// Runs one ATA command. `data` is the data phase, exactly as long as the command's transfer
// (filled by the drive for data-in, the host's bytes for data-out).
AtaResult RunAtaCommand(VirtualDrive& drive, const AtaInput& input, Direction direction,
                        std::span<std::uint8_t> data);

// The transfer length of a data command in sectors: SECTOR COUNT, where 0 means 256.
std::uint32_t AtaSectors(std::uint8_t count);
// The same for a request, 48-bit ones included (there 0 means 65536).
std::uint32_t AtaSectors(const AtaInput& input);

}  // namespace vt::sim
