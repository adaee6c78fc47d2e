#pragma once
// MODE SENSE(6) and (10) as a SCSI/ATA translation layer answers them from IDENTIFY: the
// read-write error recovery, caching and control pages, with the write cache and read look-ahead
// the drive reports.

#include "sim/front_end.h"
#include "sim/scsi_reply.h"
#include "sim/virtual_drive.h"

namespace vt::sim {

ScsiReply ModeSense(const VirtualDrive& drive, const ScsiCommand& request);

}  // namespace vt::sim
