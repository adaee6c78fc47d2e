#pragma once
// One SCSI command of a kernel transport (the TCMU ring, a Bulk-Only wrapper) answered by a bench
// drive through the same entry point the bench backend uses, so both backends see one emulator.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/bench_backend.h"
#include "sim/command_log.h"
#include "sim/virtual_drive.h"

namespace vt::serve {

enum class Outcome {
    Answered,  // status, sense and data are valid
    Withheld,  // the drive never completes this command: the transport must not answer
    Gone,      // the drive went away with this command
};

struct Exchange {
    Outcome outcome = Outcome::Answered;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> sense;
    std::size_t transferred = 0;  // bytes of the data phase actually moved
};

// The data direction of a command whose transport does not say (the TCMU ring): from the opcode
// and, for ATA PASS-THROUGH, its T_DIR and protocol fields.
sim::Direction DirectionOfCdb(std::span<const std::uint8_t> cdb);

// A command block as trace lines show it: "85 08 0E ...".
std::string CdbText(std::span<const std::uint8_t> cdb);
// "answered", "withheld" or "gone".
const char* OutcomeName(Outcome outcome);

// Runs one command on the drive. `data` is the whole data buffer of the transport: filled on a
// data-in command, read on a data-out command.
Exchange Run(sim::VirtualDrive& drive, platform::VirtualClock& clock,
             std::span<const std::uint8_t> cdb, sim::Direction direction,
             std::span<std::uint8_t> data);

}  // namespace vt::serve
