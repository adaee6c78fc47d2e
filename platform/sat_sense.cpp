#include "platform/sat_sense.h"

namespace vt::platform {

std::optional<SenseInfo> DecodeSense(std::span<const std::uint8_t> sense) {
    if (sense.empty()) return std::nullopt;
    SenseInfo info;
    info.response_code = sense[0] & 0x7F;
    if (info.response_code == 0x72 || info.response_code == 0x73) {
        if (sense.size() < 4) return std::nullopt;
        info.key = sense[1] & 0x0F;
        info.asc = sense[2];
        info.ascq = sense[3];
        return info;
    }
    if (info.response_code == 0x70 || info.response_code == 0x71) {
        if (sense.size() < 3) return std::nullopt;
        info.key = sense[2] & 0x0F;
        info.asc = sense.size() > 12 ? sense[12] : 0;
        info.ascq = sense.size() > 13 ? sense[13] : 0;
        return info;
    }
    return std::nullopt;
}

std::optional<AtaRegisters> AtaStatusReturn(std::span<const std::uint8_t> sense) {
    const auto info = DecodeSense(sense);
    if (!info) return std::nullopt;
    AtaRegisters regs;
    if (info->response_code == 0x72 || info->response_code == 0x73) {
        if (sense.size() < 8) return std::nullopt;
        std::size_t end = 8 + static_cast<std::size_t>(sense[7]);
        if (end > sense.size()) end = sense.size();
        for (std::size_t at = 8; at + 2 <= end;) {
            const std::size_t length = 2 + static_cast<std::size_t>(sense[at + 1]);
            if (sense[at] == 0x09 && length >= 14 && at + 14 <= end) {
                const auto* d = &sense[at];
                regs.error = d[3];
                regs.count = d[5];
                regs.lba_low = d[7];
                regs.lba_mid = d[9];
                regs.lba_high = d[11];
                regs.device = d[12];
                regs.status = d[13];
                return regs;
            }
            at += length;
        }
        return std::nullopt;
    }
    if (sense.size() < 12) return std::nullopt;
    if (sense[4] != 0) {
        regs.error = sense[3];
        regs.status = sense[4];
        regs.device = sense[5];
        regs.count = sense[6];
        regs.lba_low = sense[9];
        regs.lba_mid = sense[10];
        regs.lba_high = sense[11];
        return regs;
    }
    // Kernels before 6.10 put ERROR, STATUS, DEVICE and COUNT at bytes 8-11 and left the
    // INFORMATION field zero. A real STATUS always has some bit set (DRDY at the least).
    if (sense[3] == 0 && sense[4] == 0 && sense[5] == 0 && sense[6] == 0 && sense[9] != 0) {
        regs.error = sense[8];
        regs.status = sense[9];
        regs.device = sense[10];
        regs.count = sense[11];
        return regs;
    }
    return std::nullopt;
}

bool EndedWithoutError(const RequestOutcome& outcome, std::span<const std::uint8_t> sense) {
    if (outcome.transport != Transport::Delivered) return false;
    if (outcome.scsi_status == kScsiGood) return true;
    if (outcome.scsi_status != kScsiCheckCondition) return false;
    const auto info = DecodeSense(sense);
    return info && (info->key == kSenseNoSense || info->key == kSenseRecoveredError);
}

}  // namespace vt::platform
