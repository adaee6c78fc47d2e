#include "sim/virtual_drive.h"

#include <algorithm>
#include <cerrno>

#include "sim/front_end.h"
#include "sim/smart_model.h"

namespace vt::sim {
namespace {

// What the kernel adds to a command's own time-out before it reports it: error handling and abort.
constexpr std::uint64_t kTimeoutHandlingMs = 1000;
constexpr std::uint64_t kDefaultTimeoutMs = 60000;

void TimeOut(platform::ScsiRequest& request, std::size_t length, platform::VirtualClock& clock) {
    const std::uint64_t timeout = request.timeout_ms == 0 ? kDefaultTimeoutMs : request.timeout_ms;
    clock.Advance(timeout + kTimeoutHandlingMs);
    request.outcome.transport = platform::Transport::TimedOut;
    request.outcome.residue = static_cast<std::uint32_t>(length);
}

void WriteReply(const ScsiReply& reply, std::size_t length, platform::ScsiRequest& request) {
    auto& outcome = request.outcome;
    outcome.scsi_status = reply.status;
    outcome.sense_length = std::min(reply.sense.size(), request.sense.size());
    std::copy_n(reply.sense.begin(), outcome.sense_length, request.sense.begin());
    outcome.residue = static_cast<std::uint32_t>(length - std::min(reply.transferred, length));
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

int VirtualDrive::Execute(platform::ScsiRequest& request, platform::VirtualClock& clock) {
    if (!Opens()) return ENODEV;
    if (request.cdb_length == 0 || request.cdb_length > platform::kMaxCdbLength) return EINVAL;
    request.outcome = {};

    ScsiCommand scsi;
    scsi.cdb = request.Cdb();
    if (request.direction != platform::Direction::None && !request.data.empty()) {
        scsi.direction = request.direction;
        scsi.data = request.data;
    }
    const std::size_t length = scsi.data.size();

    if (config_.state == DiskState::Silent) {
        TimeOut(request, length, clock);
        return 0;
    }

    ScsiReply reply;
    if (const auto effect = state_.faults.Check(FaultTarget::Scsi, scsi.cdb[0])) {
        LoggedCommand entry;
        entry.kind = CommandKind::Scsi;
        entry.opcode = scsi.cdb[0];
        std::copy(scsi.cdb.begin(), scsi.cdb.end(), entry.block.begin());
        entry.direction = scsi.direction;
        entry.bytes = static_cast<std::uint32_t>(length);
        entry.sectors = static_cast<std::uint32_t>((length + kSectorSize - 1) / kSectorSize);
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
        TimeOut(request, length, clock);
        return 0;
    }
    WriteReply(reply, length, request);
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
