#include "sim/firmware.h"

#include <algorithm>

#include "sim/vendor_commands.h"

namespace vt::sim {
namespace {

constexpr std::uint8_t kStatusError = 0x51;  // DRDY | DSC | ERR
constexpr std::uint8_t kErrorAbort = 0x04;
constexpr std::uint8_t kErrorIdNotFound = 0x10;

enum Command : std::uint8_t {
    kReadSectors = 0x20,
    kReadDmaExt = 0x25,
    kWriteSectors = 0x30,
    kWriteDmaExt = 0x35,
    kSmart = 0xB0,
    kReadDma = 0xC8,
    kWriteDma = 0xCA,
    kCheckPowerMode = 0xE5,
    kFlushCache = 0xE7,
    kFlushCacheExt = 0xEA,
    kIdentify = 0xEC,
    kSetFeatures = 0xEF,
};

enum SmartFeature : std::uint8_t {
    kSmartReadData = 0xD0,
    kSmartReadThresholds = 0xD1,
    kSmartEnable = 0xD8,
    kSmartDisable = 0xD9,
    kSmartReturnStatus = 0xDA,
};

constexpr std::uint8_t kFeatureVendorUnlock = 0xDC;
constexpr std::uint8_t kUnlockCode = 0x56;

// The carrier opcodes of the three carrier modes: DMA, PIO and the third pair.
constexpr std::uint8_t kCarrierWriteOpcodes[] = {0x88, 0x8F, 0xC5};
constexpr std::uint8_t kCarrierReadOpcodes[] = {0x86, 0x8A, 0xC4};

bool IsIn(std::uint8_t value, std::span<const std::uint8_t> set) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

AtaOutput Echo(const AtaInput& input) {
    AtaOutput out;
    out.count = input.count;
    out.lba_low = input.lba_low;
    out.lba_mid = input.lba_mid;
    out.lba_high = input.lba_high;
    out.device = input.device;
    return out;
}

AtaResult Done(const AtaInput& input) {
    return {true, Echo(input), std::nullopt};
}

AtaResult Abort(const AtaInput& input, std::uint8_t error = kErrorAbort) {
    AtaResult result{false, Echo(input), std::nullopt};
    result.registers.status = kStatusError;
    result.registers.error = error;
    return result;
}

std::uint64_t Lba28(const AtaInput& input) {
    return std::uint64_t{input.device & 0x0Fu} << 24 | std::uint64_t{input.lba_high} << 16 |
           std::uint64_t{input.lba_mid} << 8 | input.lba_low;
}

std::uint64_t Lba48(const AtaInput& input) {
    return std::uint64_t{input.lba_high_high} << 40 | std::uint64_t{input.lba_mid_high} << 32 |
           std::uint64_t{input.lba_low_high} << 24 | std::uint64_t{input.lba_high} << 16 |
           std::uint64_t{input.lba_mid} << 8 | input.lba_low;
}

// `ext`: a 48-bit command, whose LBA has no bits in DEVICE.
AtaResult UserSectors(VirtualDrive& drive, const AtaInput& input, Direction direction,
                      std::span<std::uint8_t> data, bool write, bool ext = false) {
    if (direction != (write ? Direction::Out : Direction::In)) return Abort(input);
    const std::uint64_t lba = ext ? Lba48(input) : Lba28(input);
    const std::uint32_t sectors = ext ? AtaSectors(input) : AtaSectors(input.count);
    if (lba + sectors > drive.Config().capacity_sectors) return Abort(input, kErrorIdNotFound);
    if (write) {
        if (!drive.WriteUserSectors(lba, data)) return Abort(input);
    } else {
        CopyPadded(drive.ReadUserSectors(lba, sectors), data);
    }
    return Done(input);
}

AtaResult Smart(VirtualDrive& drive, const AtaInput& input, Direction direction,
                std::span<std::uint8_t> data) {
    // The signature in LBA MID/HIGH guards SMART against stray commands.
    if (input.lba_mid != 0x4F || input.lba_high != 0xC2) return Abort(input);
    DriveState& state = drive.State();
    switch (input.features) {
        case kSmartReadData:
            if (direction != Direction::In || !state.smart_enabled) return Abort(input);
            CopyPadded(drive.SmartData(), data);
            return Done(input);
        case kSmartReadThresholds:
            if (direction != Direction::In || !state.smart_enabled) return Abort(input);
            CopyPadded(drive.SmartThresholds(), data);
            return Done(input);
        case kSmartEnable:
            state.smart_enabled = true;
            return Done(input);
        case kSmartDisable:
            state.smart_enabled = false;
            return Done(input);
        case kSmartReturnStatus:
            return Done(input);
        default:
            return Abort(input);
    }
}

AtaResult SetFeatures(VirtualDrive& drive, const AtaInput& input) {
    if (input.features != kFeatureVendorUnlock) return Done(input);
    if (!drive.Config().vendor || input.count != kUnlockCode) return Abort(input);
    drive.State().unlocked = true;
    return Done(input);
}

LoggedCommand VendorEntry(const std::array<std::uint8_t, 16>& block) {
    LoggedCommand entry;
    entry.kind = CommandKind::VendorCarrier;
    entry.opcode = block[2];
    entry.sub_command = block[2];
    entry.block = block;
    return entry;
}

// A command sector: the vendor block in its first 16 bytes. Commands without data run now; the
// others wait for their data phase.
AtaResult CommandSector(VirtualDrive& drive, const AtaInput& input, std::span<std::uint8_t> data) {
    DriveState& state = drive.State();
    std::array<std::uint8_t, 16> block{};
    std::copy_n(data.begin(), std::min(data.size(), block.size()), block.begin());
    state.pending.reset();
    if (block[0] != kVendorMark || block[1] != kRouteCarrier) return Abort(input);

    state.Record(VendorEntry(block));
    if (const auto effect = state.faults.Check(FaultTarget::Vendor, block[2])) {
        state.log.back().fault = EffectName(*effect);
        if (*effect == FaultEffect::Fail) return Abort(input);
        AtaResult lost = Abort(input);
        lost.lost = effect;
        return lost;
    }
    const auto direction = VendorDirection(block[2], VendorRoute::Carrier);
    if (!direction) return Abort(input);
    if (*direction == Direction::None) {
        return RunVendorCommand(drive, block, VendorRoute::Carrier, {}) ? Done(input)
                                                                        : Abort(input);
    }
    state.pending = PendingVendorCommand{block};
    return Done(input);
}

AtaResult DataPhase(VirtualDrive& drive, const AtaInput& input, Direction direction,
                    std::span<std::uint8_t> data) {
    DriveState& state = drive.State();
    if (!state.pending || state.pending->block[2] != input.lba_low) return Abort(input);
    const PendingVendorCommand command = *state.pending;
    state.pending.reset();
    if (VendorDirection(command.block[2], VendorRoute::Carrier) != direction) return Abort(input);
    // The data phase completes the log entry of its command sector (the latest vendor entry).
    for (auto it = state.log.rbegin(); it != state.log.rend(); ++it) {
        if (it->kind != CommandKind::VendorCarrier) continue;
        if (it->block == command.block) {
            it->direction = direction;
            it->sectors = static_cast<std::uint32_t>(data.size() / kSectorSize);
            it->bytes = static_cast<std::uint32_t>(data.size());
        }
        break;
    }
    return RunVendorCommand(drive, command.block, VendorRoute::Carrier, data) ? Done(input)
                                                                              : Abort(input);
}

AtaResult Carrier(VirtualDrive& drive, const AtaInput& input, Direction direction,
                  std::span<std::uint8_t> data) {
    const bool write = IsIn(input.command, kCarrierWriteOpcodes);
    if (!drive.Config().vendor || !drive.State().unlocked) return Abort(input);
    if (direction != (write ? Direction::Out : Direction::In)) return Abort(input);
    if (AtaSectors(input.count) > kCarrierMaxSectors) return Abort(input);
    if (input.lba_low == kCarrierCommandLba) {
        if (write) return CommandSector(drive, input, data);
        CopyPadded(drive.Config().status_sector, data);
        return Done(input);
    }
    return DataPhase(drive, input, direction, data);
}

bool IsCarrier(const AtaInput& input) {
    return (IsIn(input.command, kCarrierWriteOpcodes) ||
            IsIn(input.command, kCarrierReadOpcodes)) &&
           input.lba_high == kCarrierLbaHigh && input.lba_mid == kCarrierLbaMid;
}

LoggedCommand AtaEntry(const AtaInput& input, Direction direction, std::size_t bytes) {
    LoggedCommand entry;
    entry.kind = CommandKind::Ata;
    entry.opcode = input.command;
    entry.features = input.features;
    entry.count = input.count;
    entry.lba_low = input.lba_low;
    entry.lba_mid = input.lba_mid;
    entry.lba_high = input.lba_high;
    entry.device = input.device;
    entry.direction = direction;
    entry.bytes = static_cast<std::uint32_t>(bytes);
    entry.sectors = static_cast<std::uint32_t>((bytes + kSectorSize - 1) / kSectorSize);
    return entry;
}

}  // namespace

std::uint32_t AtaSectors(std::uint8_t count) {
    return count == 0 ? 256u : count;
}

std::uint32_t AtaSectors(const AtaInput& input) {
    if (!input.extended) return AtaSectors(input.count);
    const std::uint32_t count = std::uint32_t{input.count_high} << 8 | input.count;
    return count == 0 ? 65536u : count;
}

AtaResult RunAtaCommand(VirtualDrive& drive, const AtaInput& input, Direction direction,
                        std::span<std::uint8_t> data) {
    DriveState& state = drive.State();
    state.Record(AtaEntry(input, direction, data.size()));
    if (const auto effect = state.faults.Check(FaultTarget::Ata, input.command)) {
        state.log.back().fault = EffectName(*effect);
        AtaResult result = Abort(input);
        if (*effect != FaultEffect::Fail) result.lost = effect;
        return result;
    }
    if (direction == Direction::In) std::fill(data.begin(), data.end(), std::uint8_t{0});

    if (IsCarrier(input)) return Carrier(drive, input, direction, data);
    switch (input.command) {
        case kIdentify:
            if (direction != Direction::In) return Abort(input);
            CopyPadded(drive.CurrentIdentify(), data);
            return Done(input);
        case kSetFeatures:
            return SetFeatures(drive, input);
        case kCheckPowerMode: {
            AtaResult result = Done(input);
            result.registers.count = 0xFF;  // active or idle
            return result;
        }
        case kFlushCache:
        case kFlushCacheExt:
            return Done(input);
        case kSmart:
            return Smart(drive, input, direction, data);
        case kReadDma:
        case kReadSectors:
            return UserSectors(drive, input, direction, data, false);
        case kWriteDma:
        case kWriteSectors:
            return UserSectors(drive, input, direction, data, true);
        case kReadDmaExt:
            return UserSectors(drive, input, direction, data, false, true);
        case kWriteDmaExt:
            return UserSectors(drive, input, direction, data, true, true);
        default:
            return Abort(input);
    }
}

}  // namespace vt::sim
