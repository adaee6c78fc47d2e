#include "sim/virtual_drive.h"

#include <algorithm>
#include <cerrno>

#include "sim/front_end.h"
#include "sim/smart_model.h"

namespace vt::sim {
namespace {

constexpr unsigned short kDidTimeOut = 0x03;
constexpr unsigned short kDriverSense = 0x08;
// What the kernel adds to a command's own time-out before it reports it: error handling and abort.
constexpr std::uint64_t kTimeoutHandlingMs = 1000;
constexpr std::uint64_t kDefaultTimeoutMs = 60000;

std::optional<Direction> DirectionOf(int sg_direction) {
    switch (sg_direction) {
        case SG_DXFER_NONE:
            return Direction::None;
        case SG_DXFER_TO_DEV:
            return Direction::Out;
        case SG_DXFER_FROM_DEV:
        case SG_DXFER_TO_FROM_DEV:
            return Direction::In;
        default:
            return std::nullopt;
    }
}

void ClearOutputs(sg_io_hdr_t& request) {
    request.status = 0;
    request.masked_status = 0;
    request.msg_status = 0;
    request.sb_len_wr = 0;
    request.host_status = 0;
    request.driver_status = 0;
    request.resid = 0;
    request.duration = 0;
    request.info = 0;
}

void TimeOut(sg_io_hdr_t& request, platform::VirtualClock& clock) {
    const std::uint64_t timeout = request.timeout == 0 ? kDefaultTimeoutMs : request.timeout;
    clock.Advance(timeout + kTimeoutHandlingMs);
    request.host_status = kDidTimeOut;
    request.resid = static_cast<int>(request.dxfer_len);
    request.info = SG_INFO_CHECK;
}

void WriteReply(const ScsiReply& reply, sg_io_hdr_t& request) {
    request.status = reply.status;
    request.masked_status = static_cast<unsigned char>(reply.status >> 1);
    if (!reply.sense.empty() && request.sbp != nullptr && request.mx_sb_len > 0) {
        const std::size_t n = std::min<std::size_t>(reply.sense.size(), request.mx_sb_len);
        std::copy_n(reply.sense.begin(), n, request.sbp);
        request.sb_len_wr = static_cast<unsigned char>(n);
        request.driver_status = kDriverSense;
    }
    const std::size_t moved = std::min<std::size_t>(reply.transferred, request.dxfer_len);
    request.resid = static_cast<int>(request.dxfer_len - moved);
    if (reply.status != kGood) request.info = SG_INFO_CHECK;
}

}  // namespace

VirtualDrive::VirtualDrive(DriveConfig config) : config_(std::move(config)) {
    state_.mode = config_.mode;
    // The drive's memory starts as configured and changes from there: one copy, not two.
    state_.memory = std::move(config_.memory);
    config_.memory.clear();
    state_.registers = config_.registers;
    if (config_.smart_model) state_.counters = config_.smart_model->counters;
    state_.faults = FaultSet(config_.faults);
}

int VirtualDrive::Execute(sg_io_hdr_t& request, platform::VirtualClock& clock) {
    if (!Opens()) return ENODEV;
    if (request.iovec_count != 0) return EINVAL;
    if (request.cmdp == nullptr || request.cmd_len == 0 || request.cmd_len > 16) return EINVAL;
    if (request.dxfer_len > 0 && request.dxferp == nullptr) return EFAULT;
    const auto direction = DirectionOf(request.dxfer_direction);
    if (!direction) return EINVAL;
    ClearOutputs(request);

    ScsiRequest scsi;
    scsi.cdb = {request.cmdp, request.cmd_len};
    scsi.direction = request.dxfer_len == 0 ? Direction::None : *direction;
    if (scsi.direction != Direction::None) {
        scsi.data = {static_cast<std::uint8_t*>(request.dxferp), request.dxfer_len};
    }

    if (config_.state == DiskState::Silent) {
        TimeOut(request, clock);
        return 0;
    }

    ScsiReply reply;
    if (const auto effect = state_.faults.Check(FaultTarget::Scsi, scsi.cdb[0])) {
        LoggedCommand entry;
        entry.kind = CommandKind::Scsi;
        entry.opcode = scsi.cdb[0];
        std::copy(scsi.cdb.begin(), scsi.cdb.end(), entry.block.begin());
        entry.direction = scsi.direction;
        entry.bytes = request.dxfer_len;
        entry.sectors =
            static_cast<std::uint32_t>((request.dxfer_len + kSectorSize - 1) / kSectorSize);
        entry.fault = EffectName(*effect);
        state_.Record(entry);
        if (*effect == FaultEffect::Fail) {
            reply = CheckCondition(kKeyIllegalRequest, kAscInvalidField);
        } else {
            reply.lost = effect;
        }
    } else {
        switch (config_.bridge) {
            case Bridge::None:
                reply = AnswerAtaHost(*this, scsi);
                break;
            case Bridge::Supported:
                reply = AnswerSupportedBridge(*this, scsi);
                break;
            case Bridge::Older:
                reply = AnswerOlderBridge(*this, scsi);
                break;
        }
    }

    if (reply.lost == FaultEffect::Gone) {
        state_.gone = true;
        return ENODEV;
    }
    if (reply.lost == FaultEffect::Timeout) {
        TimeOut(request, clock);
        return 0;
    }
    WriteReply(reply, request);
    return 0;
}

void DriveState::Record(const LoggedCommand& command) {
    // Dropped in halves, so that each command costs the same on average.
    if (log.size() >= 2 * kLoggedCommandsKept) {
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(kLoggedCommandsKept));
    }
    log.push_back(command);
}

Bytes VirtualDrive::ReadUserSectors(std::uint64_t lba, std::uint32_t count) const {
    Bytes data(std::size_t{count} * kSectorSize, 0);
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto it = state_.user_sectors.find(lba + i);
        if (it == state_.user_sectors.end()) continue;
        std::copy(it->second.begin(), it->second.end(),
                  data.begin() + static_cast<std::ptrdiff_t>(std::size_t{i} * kSectorSize));
    }
    return data;
}

bool VirtualDrive::WriteUserSectors(std::uint64_t lba, std::span<const std::uint8_t> data) {
    const std::size_t count = (data.size() + kSectorSize - 1) / kSectorSize;
    const auto sector = [&](std::size_t i) {
        return data.subspan(i * kSectorSize, std::min(kSectorSize, data.size() - i * kSectorSize));
    };
    const auto zeros = [](std::span<const std::uint8_t> bytes) {
        return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
    };
    // Checked whole before anything is kept, so a refused write leaves every sector as it was.
    std::uint64_t added = 0;
    for (std::size_t i = 0; i < count; ++i) {
        added += !zeros(sector(i)) && !state_.user_sectors.contains(lba + i);
    }
    if (written_->held > written_->limit || added > written_->limit - written_->held) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (zeros(sector(i))) {
            written_->held -= state_.user_sectors.erase(lba + i);
            continue;
        }
        const auto [it, inserted] = state_.user_sectors.try_emplace(lba + i);
        written_->held += inserted;
        CopyPadded(sector(i), it->second);
    }
    return true;
}

Bytes VirtualDrive::ReadMemory(std::uint8_t space, std::uint32_t address,
                               std::size_t length) const {
    Bytes data(length, 0);
    const auto it = state_.memory.find(space);
    if (it != state_.memory.end()) it->second.Read(address, data);
    return data;
}

const Bytes& VirtualDrive::CurrentIdentify() const {
    if (state_.mode == ControllerMode::Firmware || config_.loader_identify.empty()) {
        return config_.identify;
    }
    return config_.loader_identify;
}

const Bytes& VirtualDrive::CurrentInquiry() const {
    if (state_.mode == ControllerMode::Firmware || config_.loader_inquiry.empty()) {
        return config_.inquiry;
    }
    return config_.loader_inquiry;
}

Bytes VirtualDrive::SmartData() const {
    if (config_.smart_data) return *config_.smart_data;
    if (config_.smart_model) return BuildSmartData(*config_.smart_model, state_.counters);
    return Bytes(kSectorSize, 0);
}

Bytes VirtualDrive::SmartThresholds() const {
    if (config_.smart_thresholds) return *config_.smart_thresholds;
    if (config_.smart_model) return BuildSmartThresholds(*config_.smart_model);
    return Bytes(kSectorSize, 0);
}

Bytes VirtualDrive::BridgeSmart() const {
    if (config_.smart_usb) return *config_.smart_usb;
    return SmartData();
}

}  // namespace vt::sim
