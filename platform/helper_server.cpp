#include "platform/helper_server.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include "platform/helper_channel.h"
#include "platform/sat_sense.h"

namespace vt::platform::helper {

// What a command block does, as far as the helper lets it through.
enum class CommandKind {
    Refused,       // nothing the tool sends
    Passed,        // reads, inquiries, the vendor protocol's own commands
    Unlock,        // the vendor unlock: passed, and its success marks the disk as a vendor drive
    CarrierWrite,  // a transfer to the carrier's address: user data on a disk that is no vendor
                   // drive
    UserWrite,     // writes user data: only to a disk the client holds for writing
};

namespace {

struct AtaRegisters {
    std::uint8_t features, count, lba_low, lba_mid, lba_high, device, command;
    bool extended;  // a 48-bit command
};

std::optional<AtaRegisters> AtaOf(std::span<const std::uint8_t> cdb) {
    if (cdb[0] == 0x85 && cdb.size() == 16)  // ATA PASS-THROUGH(16)
        return AtaRegisters{cdb[4],  cdb[6],  cdb[8],  cdb[10],
                            cdb[12], cdb[13], cdb[14], (cdb[1] & 0x01) != 0};
    if (cdb[0] == 0xA1 && cdb.size() >= 12)  // ATA PASS-THROUGH(12)
        return AtaRegisters{cdb[3], cdb[4], cdb[5], cdb[6], cdb[7], cdb[8], cdb[9], false};
    return std::nullopt;
}

// The carrier's write and read opcodes in its three modes, and its address (LBA HIGH, LBA MID).
constexpr std::pair<std::uint8_t, std::uint8_t> kCarrierOpcodes[] = {
    {0xC5, 0xC4}, {0x8F, 0x8A}, {0x88, 0x86}};
constexpr std::uint8_t kCarrierLbaHigh = 0x12, kCarrierLbaMid = 0x34;

CommandKind AtaKind(const AtaRegisters& r) {
    for (const auto& [write, read] : kCarrierOpcodes) {
        if (r.command != write && r.command != read) continue;
        // Anywhere but the carrier's address these opcodes move user data (C4h, C5h are READ
        // and WRITE MULTIPLE), which the tool never asks for.
        if (r.extended || r.lba_high != kCarrierLbaHigh || r.lba_mid != kCarrierLbaMid)
            return CommandKind::Refused;
        return r.command == write ? CommandKind::CarrierWrite : CommandKind::Passed;
    }
    switch (r.command) {
        case 0xEC:  // IDENTIFY DEVICE
        case 0xE5:  // CHECK POWER MODE
        case 0xE7:  // FLUSH CACHE
        case 0xC8:  // READ DMA
        case 0x25:  // READ DMA EXT
            return CommandKind::Passed;
        case 0xCA:  // WRITE DMA
        case 0x35:  // WRITE DMA EXT
            return CommandKind::UserWrite;
        case 0xB0:  // SMART READ DATA, READ THRESHOLDS, ENABLE OPERATIONS, with their signature
            return r.lba_mid == 0x4F && r.lba_high == 0xC2 &&
                           (r.features == 0xD0 || r.features == 0xD1 || r.features == 0xD8)
                       ? CommandKind::Passed
                       : CommandKind::Refused;
        case 0xEF:  // SET FEATURES: only the vendor unlock
            return r.features == 0xDC ? CommandKind::Unlock : CommandKind::Refused;
        default:
            return CommandKind::Refused;
    }
}

CommandKind KindOf(std::span<const std::uint8_t> cdb) {
    if (const auto ata = AtaOf(cdb)) return AtaKind(*ata);
    switch (cdb[0]) {
        case 0x12:  // INQUIRY
        case 0x25:  // READ CAPACITY(10)
        case 0x28:  // READ(10)
        case 0x88:  // READ(16)
            return CommandKind::Passed;
        case 0x9E:  // SERVICE ACTION IN(16): READ CAPACITY(16) only
            return (cdb[1] & 0x1F) == 0x10 ? CommandKind::Passed : CommandKind::Refused;
        case 0x2A:  // WRITE(10)
        case 0x8A:  // WRITE(16)
            return CommandKind::UserWrite;
        case 0xFF:  // a vendor command block that an older bridge takes as its own command
            return cdb[1] == 0x04 ? CommandKind::Passed : CommandKind::Refused;
        default:
            return CommandKind::Refused;
    }
}

// The drive ran the command without an error: GOOD, or the register file a CK_COND request brings
// back under NO SENSE or RECOVERED ERROR.
bool RanCleanly(const ScsiRequest& request) {
    return request.outcome.transport == Transport::Delivered &&
           EndedWithoutError(request.outcome, request.Sense());
}

bool RanCleanly(const AtaRequest& request) {
    return request.RanWithoutError();
}

}  // namespace

Server::~Server() {
    for (const auto& [ours, held] : open_) backend_.Close(held.theirs);
    // A client that went away gives its drives free again.
    for (const auto& [ours, held] : locks_) backend_.UnlockDevice(held.theirs);
    for (const auto& [ours, held] : holds_) backend_.ReleaseHold(held.theirs);
}

std::int32_t Server::Keep(std::map<std::uint32_t, Held>& kept, int theirs, const DiskEntry& disk) {
    if (theirs < 0) return theirs;
    const std::uint32_t ours = next_handle_++ & 0x7FFFFFFF;
    kept[ours] = Held{theirs, disk.node};
    return static_cast<std::int32_t>(ours);
}

bool Server::HoldsForWriting(const std::string& node) const {
    return std::any_of(holds_.begin(), holds_.end(),
                       [&node](const auto& hold) { return hold.second.node == node; });
}

std::vector<std::uint8_t> Server::Answer(std::span<const std::uint8_t> body) {
    auto decoded = DecodeRequest(body);
    if (auto* fault = std::get_if<std::string>(&decoded)) {
        const Op op = body.size() >= 2 && IsKnownOp(body[1]) ? static_cast<Op>(body[1]) : Op::Hello;
        return EncodeAnswer(Refusal(op, Status::Malformed, *fault));
    }
    return EncodeAnswer(Handle(std::get<Request>(decoded)));
}

const DiskEntry* Server::Listed(const std::string& path) {
    const auto find = [&]() -> const DiskEntry* {
        const std::string node = NodeOfPath(path);
        for (const auto& disk : listed_) {
            if (disk.path == path || disk.node == node) return &disk;
        }
        return nullptr;
    };
    if (const auto* disk = find()) return disk;
    // A disk may have come since the client last listed; the enumeration alone decides.
    listed_ = backend_.ListDisks();
    return find();
}

helper::Answer Server::Handle(const Request& request) {
    helper::Answer answer;
    answer.op = request.op;
    switch (request.op) {
        case Op::Hello:
            answer.virtual_clock = virtual_clock_;
            break;
        case Op::ListDisks:
            listed_ = backend_.ListDisks();
            if (listed_.size() > kMaxDisks) listed_.resize(kMaxDisks);
            std::erase_if(listed_, [](const DiskEntry& d) {
                return d.path.size() > kMaxPath || d.bus.size() > kMaxPath ||
                       d.node.size() > kMaxPath;
            });
            answer.disks = listed_;
            break;
        case Op::Rescan:
            answer.ok = backend_.Rescan(answer.report);
            break;
        case Op::DeviceNumber: {
            const DiskEntry* disk = Listed(request.path);
            if (disk == nullptr) return Refusal(request.op, Status::NotListed, "not a listed disk");
            const auto number = backend_.DeviceNumberOf(disk->path);
            answer.ok = number.has_value();
            if (number) answer.number = *number;
            break;
        }
        case Op::Open: {
            const DiskEntry* disk = Listed(request.path);
            if (disk == nullptr) return Refusal(request.op, Status::NotListed, "not a listed disk");
            answer.result =
                open_.size() >= kMaxOpen ? -EMFILE : Keep(open_, backend_.Open(disk->path), *disk);
            break;
        }
        case Op::Close: {
            const auto it = open_.find(request.handle);
            if (it == open_.end()) return Refusal(request.op, Status::BadHandle, "no such handle");
            backend_.Close(it->second.theirs);
            open_.erase(it);
            break;
        }
        case Op::LockDevice: {
            const DiskEntry* disk = Listed(request.path);
            if (disk == nullptr) return Refusal(request.op, Status::NotListed, "not a listed disk");
            answer.result = locks_.size() >= kMaxOpen
                                ? -ENOLCK
                                : Keep(locks_, backend_.LockDevice(disk->path, request.ms), *disk);
            break;
        }
        case Op::UnlockDevice: {
            const auto it = locks_.find(request.handle);
            if (it == locks_.end()) return Refusal(request.op, Status::BadHandle, "no such lock");
            backend_.UnlockDevice(it->second.theirs);
            locks_.erase(it);
            break;
        }
        case Op::DescribeUse: {
            const DiskEntry* disk = Listed(request.path);
            if (disk == nullptr) return Refusal(request.op, Status::NotListed, "not a listed disk");
            answer.use = backend_.DescribeUse(disk->path);
            break;
        }
        case Op::HoldForWriting: {
            const DiskEntry* disk = Listed(request.path);
            if (disk == nullptr) return Refusal(request.op, Status::NotListed, "not a listed disk");
            answer.result = holds_.size() >= kMaxOpen
                                ? -ENOLCK
                                : Keep(holds_, backend_.HoldForWriting(disk->path), *disk);
            break;
        }
        case Op::ReleaseHold: {
            const auto it = holds_.find(request.handle);
            if (it == holds_.end()) return Refusal(request.op, Status::BadHandle, "no such hold");
            backend_.ReleaseHold(it->second.theirs);
            holds_.erase(it);
            break;
        }
        case Op::ScsiPassThrough:
            return DoScsi(request.scsi);
        case Op::AtaPassThrough:
            return DoAta(request.ata);
        case Op::Now:
            answer.now_ms = backend_.NowMs();
            break;
        case Op::Sleep:
            backend_.SleepMs(request.ms);
            break;
    }
    return answer;
}

namespace {

// The buffers of one call on this side, and the answer they become.
struct CallBuffers {
    explicit CallBuffers(const Call& call)
        : data(call.direction == Direction::Out ? call.data_out
                                                : std::vector<std::uint8_t>(call.transfer_length)),
          sense(call.max_sense) {}

    template <typename DeviceRequest>
    void Lend(const Call& call, DeviceRequest& request) {
        request.direction = call.direction;
        request.data = data;
        request.sense = sense;
        request.timeout_ms = call.timeout_ms;
    }

    template <typename DeviceRequest>
    CallOutcome Return(int error, const Call& call, const DeviceRequest& request) {
        CallOutcome out;
        out.error = error;
        if (error != 0) return out;
        out.outcome = request.outcome;
        const auto written = request.Sense();
        out.sense.assign(written.begin(), written.end());
        out.outcome.sense_length = out.sense.size();
        if (call.direction == Direction::In) out.data_in = std::move(data);
        return out;
    }

    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> sense;
};

}  // namespace

// Refused as the kernel refuses a request: with an errno value, the device never asked. User data
// is written only to a disk held for writing, or through the carrier of a disk that the vendor
// unlock proved a vendor drive.
int Server::RefusalErrno(CommandKind kind, const std::string& node) const {
    if (kind == CommandKind::Refused) return EOPNOTSUPP;
    const bool vendor_drive = kind == CommandKind::CarrierWrite && unlocked_.contains(node);
    if ((kind == CommandKind::UserWrite || kind == CommandKind::CarrierWrite) && !vendor_drive &&
        !HoldsForWriting(node))
        return EBUSY;
    return 0;
}

helper::Answer Server::DoScsi(const ScsiCall& call) {
    const auto it = open_.find(call.handle);
    if (it == open_.end()) return Refusal(Op::ScsiPassThrough, Status::BadHandle, "no such handle");
    helper::Answer answer;
    answer.op = Op::ScsiPassThrough;
    const std::string& node = it->second.node;
    const CommandKind kind = KindOf(call.cdb);
    if ((answer.call.error = RefusalErrno(kind, node)) != 0) return answer;
    CallBuffers buffers(call);
    ScsiRequest request;
    request.SetCdb(call.cdb);
    buffers.Lend(call, request);
    const int error = backend_.ScsiPassThrough(it->second.theirs, request);
    answer.call = buffers.Return(error, call, request);
    if (error == 0 && kind == CommandKind::Unlock && RanCleanly(request)) unlocked_.insert(node);
    return answer;
}

helper::Answer Server::DoAta(const AtaCall& call) {
    const auto it = open_.find(call.handle);
    if (it == open_.end()) return Refusal(Op::AtaPassThrough, Status::BadHandle, "no such handle");
    helper::Answer answer;
    answer.op = Op::AtaPassThrough;
    const std::string& node = it->second.node;
    const auto& tf = call.task_file;
    const CommandKind kind =
        AtaKind({tf[0], tf[1], tf[2], tf[3], tf[4], tf[5], tf[kTaskCommand], call.extended});
    if ((answer.call.error = RefusalErrno(kind, node)) != 0) return answer;
    CallBuffers buffers(call);
    AtaRequest request;
    request.task_file = call.task_file;
    request.extended = call.extended;
    request.previous = call.previous;
    request.dma = call.dma;
    buffers.Lend(call, request);
    const int error = backend_.AtaPassThrough(it->second.theirs, request);
    answer.call = buffers.Return(error, call, request);
    if (error == 0) {
        answer.call.registers = request.registers;
        answer.call.registers_returned = request.registers_returned;
        answer.call.refused = request.refused;
        if (kind == CommandKind::Unlock && RanCleanly(request)) unlocked_.insert(node);
    }
    return answer;
}

int Server::Serve(int in_fd, int out_fd) {
    std::vector<std::uint8_t> body;
    for (;;) {
        switch (ReadFrame(in_fd, kMaxFrame, body)) {
            case ReadResult::Closed:
                return 0;
            case ReadResult::Failed:
                return 1;
            case ReadResult::TooLong:
                // Nothing after an oversized length can be trusted to start a frame.
                WriteFrame(out_fd,
                           EncodeAnswer(Refusal(Op::Hello, Status::Malformed, "frame too long")));
                return 1;
            case ReadResult::Frame:
                if (!WriteFrame(out_fd, Answer(body))) return 1;
                break;
        }
    }
}

}  // namespace vt::platform::helper
