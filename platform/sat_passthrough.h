#pragma once
// ATA requests over a SCSI transport, as a SCSI/ATA translation layer (the kernel's, a USB
// bridge's, the bench's ATA host) takes them: one ATA PASS-THROUGH(16) command sent with CK_COND,
// so that the register file comes back in the sense data.

#include <array>
#include <cstdint>

#include "platform/backend.h"

namespace vt::platform {

// The ATA PASS-THROUGH(16) command block of a request: the protocol from its direction and DMA
// flag, the transfer counted in blocks of SECTOR COUNT, the task file in the low register bytes.
std::array<std::uint8_t, 16> SatCdb(const AtaRequest& request);

// The request's registers, refusal, sense and outcome from the SCSI request that carried it.
void ReadSatAnswer(const ScsiRequest& carrier, AtaRequest& request);

// Sends the request as that one command through backend.ScsiPassThrough on `handle` and reads
// the answer back into it. Returns what the SCSI request returned (0, or the errno value).
int SendAtaThroughSat(Backend& backend, int handle, AtaRequest& request);

}  // namespace vt::platform
