#pragma once
// What stands between the SCSI command and the controller: the kernel's SCSI/ATA translation on an
// ATA host, a USB bridge that passes ATA commands through, or an older bridge that takes vendor
// command blocks as its own commands.

#include <cstdint>
#include <span>

#include "sim/command_log.h"
#include "sim/scsi_reply.h"
#include "sim/virtual_drive.h"

namespace vt::sim {

// One request as a front end reads it: the CDB, and the data phase only when data moves.
struct ScsiCommand {
    std::span<const std::uint8_t> cdb;
    Direction direction = Direction::None;
    std::span<std::uint8_t> data;  // the host's buffer
};

ScsiReply AnswerAtaHost(VirtualDrive& drive, const ScsiCommand& request);
ScsiReply AnswerSupportedBridge(VirtualDrive& drive, const ScsiCommand& request);
ScsiReply AnswerOlderBridge(VirtualDrive& drive, const ScsiCommand& request);

}  // namespace vt::sim
