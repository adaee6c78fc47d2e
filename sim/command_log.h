#pragma once
// What arrived at a virtual disk, in order and decoded, for tests that check what the tool sends.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_request.h"

namespace vt::sim {

enum class CommandKind {
    Ata,            // an ATA command, through ATA PASS-THROUGH(16) or (12)
    Scsi,           // any other SCSI command (INQUIRY, READ CAPACITY, READ(10), ...)
    VendorDirect,   // a vendor command block taken as a CDB by a bridge
    VendorCarrier,  // a vendor command block that arrived in a command sector
};

using platform::Direction;

struct LoggedCommand {
    CommandKind kind = CommandKind::Ata;
    // ATA: the COMMAND register; SCSI: the first CDB byte; vendor: the sub-command code.
    std::uint8_t opcode = 0;
    // ATA task file as sent: FEATURES, SECTOR COUNT, LBA LOW, LBA MID, LBA HIGH, DEVICE, COMMAND.
    std::uint8_t features = 0, count = 0, lba_low = 0, lba_mid = 0, lba_high = 0, device = 0;
    std::uint8_t sub_command = 0;          // vendor kinds
    std::array<std::uint8_t, 16> block{};  // vendor block, or the CDB of a SCSI command
    std::uint32_t sectors = 0;             // data moved in 512-byte sectors (rounded up)
    std::uint32_t bytes = 0;               // data moved in bytes
    Direction direction = Direction::None;
    std::string fault;  // the injected effect that hit it ("fail", "timeout", "gone"), or empty

    // One line, for example "vendor-carrier 86h ReadMemory in 8 sectors [FF E5 86 03 00 ...]".
    std::string ToString() const;
};

// The name of a vendor sub-command as the catalogue calls it ("ReadMemory"), or "" if unknown.
const char* VendorCommandName(std::uint8_t code, Direction direction);

}  // namespace vt::sim
