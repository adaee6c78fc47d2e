#include "sim/scsi_reply.h"

namespace vt::sim {

ScsiReply CheckCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    ScsiReply reply;
    reply.status = kCheckCondition;
    reply.sense.assign(18, 0);
    reply.sense[0] = 0x70;  // fixed format, current error
    reply.sense[2] = key;
    reply.sense[7] = 10;  // additional length
    reply.sense[12] = asc;
    reply.sense[13] = ascq;
    return reply;
}

Bytes AtaReturnSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, const AtaOutput& regs) {
    return {0x72, key,          asc, ascq,          0,           0,          0, 14,
            0x09, 0x0C,         0,   regs.error,    0,           regs.count, 0, regs.lba_low,
            0,    regs.lba_mid, 0,   regs.lba_high, regs.device, regs.status};
}

}  // namespace vt::sim
