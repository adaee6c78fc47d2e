#include "serve/scsi_exchange.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include "sim/bytes.h"
#include "sim/scsi_reply.h"

namespace vt::serve {
namespace {

bool IsDataOutOpcode(std::uint8_t opcode) {
    switch (opcode) {
        case 0x0A:  // WRITE(6)
        case 0x15:  // MODE SELECT(6)
        case 0x1D:  // SEND DIAGNOSTIC
        case 0x2A:  // WRITE(10)
        case 0x2E:  // WRITE AND VERIFY(10)
        case 0x3B:  // WRITE BUFFER
        case 0x41:  // WRITE SAME(10)
        case 0x42:  // UNMAP
        case 0x55:  // MODE SELECT(10)
        case 0x8A:  // WRITE(16)
        case 0x93:  // WRITE SAME(16)
        case 0xAA:  // WRITE(12)
            return true;
        default:
            return false;
    }
}

}  // namespace

sim::Direction DirectionOfCdb(std::span<const std::uint8_t> cdb) {
    if (cdb.empty()) return sim::Direction::None;
    const std::uint8_t opcode = cdb[0];
    if (opcode == 0x85 || opcode == 0xA1) {
        if (cdb.size() < 3) return sim::Direction::None;
        const std::uint8_t protocol = (cdb[1] >> 1) & 0x0F;
        const bool t_length = (cdb[2] & 0x03) != 0;
        if (protocol == 3 || !t_length) return sim::Direction::None;
        return (cdb[2] & 0x08) != 0 ? sim::Direction::In : sim::Direction::Out;
    }
    return IsDataOutOpcode(opcode) ? sim::Direction::Out : sim::Direction::In;
}

std::string CdbText(std::span<const std::uint8_t> cdb) {
    return sim::HexBytes(cdb, " ");
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Withheld:
            return "withheld";
        case Outcome::Gone:
            return "gone";
        case Outcome::Answered:
            break;
    }
    return "answered";
}

Exchange Run(sim::VirtualDrive& drive, platform::VirtualClock& clock,
             std::span<const std::uint8_t> cdb, sim::Direction direction,
             std::span<std::uint8_t> data) {
    Exchange exchange;
    std::array<std::uint8_t, 96> sense{};
    platform::ScsiRequest request;
    request.SetCdb(cdb);
    request.sense = sense;
    if (direction != sim::Direction::None && !data.empty()) {
        request.direction = direction;
        request.data = data;
    }

    const int error = drive.Execute(request, clock);
    if (error == ENODEV) {
        exchange.outcome = Outcome::Gone;
        return exchange;
    }
    if (error != 0) {
        // A request the kernel side would have refused: the transport already checked its shape,
        // so this is a malformed command block.
        exchange.status = sim::kCheckCondition;
        exchange.sense = sim::CheckCondition(sim::kKeyIllegalRequest, sim::kAscInvalidField).sense;
        return exchange;
    }
    if (request.outcome.transport == platform::Transport::TimedOut) {
        exchange.outcome = Outcome::Withheld;
        return exchange;
    }
    const auto answered = request.Sense();
    exchange.status = request.outcome.scsi_status;
    exchange.sense.assign(answered.begin(), answered.end());
    exchange.transferred = request.data.size() - request.outcome.residue;
    return exchange;
}

}  // namespace vt::serve
