#include "platform/sat_passthrough.h"

#include <algorithm>

#include "platform/sat_sense.h"

namespace vt::platform {
namespace {

constexpr std::uint8_t kAtaPassThrough16 = 0x85;
constexpr std::uint8_t kErrorAbrt = 0x04;
constexpr std::uint8_t kStatusReadyNoError = 0x50;  // DRDY | DSC
// Room for the ATA Status Return descriptor in either sense format.
constexpr std::size_t kSatSenseLength = 32;

}  // namespace

std::array<std::uint8_t, 16> SatCdb(const AtaRequest& request) {
    constexpr std::uint8_t kNonData = 3, kPioIn = 4, kPioOut = 5, kDma = 6;
    constexpr std::uint8_t kCkCond = 0x20, kDirIn = 0x08, kBlocks = 0x04, kLengthInCount = 0x02;
    std::uint8_t protocol = kNonData;
    std::uint8_t flags = kCkCond;
    if (request.direction == Direction::In) {
        protocol = request.dma ? kDma : kPioIn;
        flags |= kDirIn | kBlocks | kLengthInCount;
    } else if (request.direction == Direction::Out) {
        protocol = request.dma ? kDma : kPioOut;
        flags |= kBlocks | kLengthInCount;
    }
    const TaskFile& tf = request.task_file;
    std::array<std::uint8_t, 16> cdb{};
    cdb[0] = kAtaPassThrough16;
    cdb[1] = static_cast<std::uint8_t>(protocol << 1);
    cdb[2] = flags;
    cdb[4] = tf[0];   // FEATURES
    cdb[6] = tf[1];   // SECTOR COUNT
    cdb[8] = tf[2];   // LBA LOW
    cdb[10] = tf[3];  // LBA MID
    cdb[12] = tf[4];  // LBA HIGH
    cdb[13] = tf[5];  // DEVICE
    cdb[14] = tf[kTaskCommand];
    if (request.extended) {
        constexpr std::uint8_t kExtend = 0x01;
        cdb[1] |= kExtend;
        for (std::size_t i = 0; i < request.previous.size(); ++i)
            cdb[3 + 2 * i] = request.previous[i];
    }
    return cdb;
}

void ReadSatAnswer(const ScsiRequest& carrier, AtaRequest& request) {
    const auto sense = carrier.Sense();
    request.outcome = carrier.outcome;
    request.outcome.sense_length = std::min(sense.size(), request.sense.size());
    std::copy_n(sense.begin(), request.outcome.sense_length, request.sense.begin());
    request.registers = request.task_file;
    request.registers_returned = false;
    request.refused = false;
    if (const auto regs = AtaStatusReturn(sense)) {
        request.registers[0] = regs->error;
        request.registers[1] = regs->count;
        if (regs->lba_low) request.registers[2] = *regs->lba_low;
        if (regs->lba_mid) request.registers[3] = *regs->lba_mid;
        if (regs->lba_high) request.registers[4] = *regs->lba_high;
        request.registers[5] = regs->device;
        request.registers[kTaskCommand] = regs->status;
        request.registers_returned = true;
        return;
    }
    // A translation layer that ignores CK_COND returns no registers: GOOD (or a benign sense key)
    // then reads as DRDY with no error, anything else as an aborted command.
    const bool ok = EndedWithoutError(carrier.outcome, sense);
    request.registers[0] = ok ? 0 : kErrorAbrt;
    request.registers[kTaskCommand] =
        ok ? kStatusReadyNoError : (kStatusReadyNoError | kAtaStatusErr);
    // ILLEGAL REQUEST without a register file: the device does not take ATA PASS-THROUGH at all.
    if (carrier.outcome.scsi_status == kScsiCheckCondition) {
        const auto info = DecodeSense(sense);
        request.refused = info && info->key == kSenseIllegalRequest;
    }
}

int SendAtaThroughSat(Backend& backend, int handle, AtaRequest& request) {
    std::array<std::uint8_t, kSatSenseLength> sense{};
    ScsiRequest carrier;
    carrier.SetCdb(SatCdb(request));
    carrier.direction = request.direction;
    carrier.data = request.data;
    carrier.sense = sense;
    carrier.timeout_ms = request.timeout_ms;
    const int error = backend.ScsiPassThrough(handle, carrier);
    if (error != 0) return error;
    ReadSatAnswer(carrier, request);
    return 0;
}

}  // namespace vt::platform
