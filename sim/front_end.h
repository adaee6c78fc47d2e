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

struct ScsiRequest {
    std::span<const std::uint8_t> cdb;
    Direction direction = Direction::None;
    std::span<std::uint8_t> data;  // the host's buffer
};

ScsiReply AnswerAtaHost(VirtualDrive& drive, const ScsiRequest& request);
ScsiReply AnswerSupportedBridge(VirtualDrive& drive, const ScsiRequest& request);
ScsiReply AnswerOlderBridge(VirtualDrive& drive, const ScsiRequest& request);

}  // namespace vt::sim
