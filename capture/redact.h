#pragma once
// Serial numbers out of a capture, for a file that leaves the customer's site.

#include "sim/bench_writer.h"

namespace vt::capture {

// The placeholder every redacted serial number reads as.
inline constexpr const char* kRedactedSerial = "REDACTED";

// Replaces the IDENTIFY serial numbers (words 10-19 of the firmware's and the loader's data,
// keeping the integrity word valid) and a bridge's USB serial string in its configuration: as much
// of the descriptor at loader block byte 242 as the Device Info page reads, whatever its length or
// type byte says, in the memory copy, in the flash copies the system information read takes and
// in any other stored copy of the block.
void RedactSerials(sim::RawDrive& drive);

}  // namespace vt::capture
