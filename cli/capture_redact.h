#pragma once
// Serial numbers out of a capture, for a file that leaves the customer's site.

#include "sim/bench_writer.h"

namespace vt::cli {

// The placeholder every redacted serial number reads as.
inline constexpr const char* kRedactedSerial = "REDACTED";

// Replaces the IDENTIFY serial numbers (words 10-19 of the firmware's and the loader's data,
// keeping the integrity word valid) and a bridge's USB serial string in its configuration (loader
// block byte 242, in controller memory and in the system pages that copy it).
void RedactSerials(sim::RawDrive& drive);

}  // namespace vt::cli
