#include "platform/helper_server.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include "platform/helper_channel.h"

namespace vt::platform::helper {
namespace {

// What a command block does, as far as the helper lets it through.
enum class Kind {
    Refused,       // nothing the tool sends
    Passed,        // reads, inquiries, the vendor protocol's own commands
    Unlock,        // the vendor unlock: passed, and its success marks the disk as a vendor drive
    CarrierWrite,  // a transfer to the carrier's address: user data on a disk that is no vendor
                   // drive
    UserWrite,     // writes user data: only to a disk the client holds for writing
};

struct AtaRegisters {
    std::uint8_t features, count, lba_low, lba_mid, lba_high, device, command;
    bool extended;  // a 48-bit command
};

std::optional<AtaRegisters> AtaOf(const std::vector<std::uint8_t>& cdb) {
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

Kind AtaKind(const AtaRegisters& r) {
    for (const auto& [write, read] : kCarrierOpcodes) {
        if (r.command != write && r.command != read) continue;
        // Anywhere but the carrier's address these opcodes move user data (C4h, C5h are READ
        // and WRITE MULTIPLE), which the tool never asks for.
        if (r.extended || r.lba_high != kCarrierLbaHigh || r.lba_mid != kCarrierLbaMid)
            return Kind::Refused;
        return r.command == write ? Kind::CarrierWrite : Kind::Passed;
    }
    switch (r.command) {
        case 0xEC:  // IDENTIFY DEVICE
        case 0xE5:  // CHECK POWER MODE
        case 0xE7:  // FLUSH CACHE
        case 0xC8:  // READ DMA
        case 0x25:  // READ DMA EXT
            return Kind::Passed;
        case 0xCA:  // WRITE DMA
        case 0x35:  // WRITE DMA EXT
            return Kind::UserWrite;
        case 0xB0:  // SMART READ DATA, READ THRESHOLDS, ENABLE OPERATIONS, with their signature
            return r.lba_mid == 0x4F && r.lba_high == 0xC2 &&
                           (r.features == 0xD0 || r.features == 0xD1 || r.features == 0xD8)
                       ? Kind::Passed
                       : Kind::Refused;
        case 0xEF:  // SET FEATURES: only the vendor unlock
            return r.features == 0xDC ? Kind::Unlock : Kind::Refused;
        default:
            return Kind::Refused;
    }
}

Kind KindOf(const std::vector<std::uint8_t>& cdb) {
    if (const auto ata = AtaOf(cdb)) return AtaKind(*ata);
    switch (cdb[0]) {
        case 0x12:  // INQUIRY
        case 0x25:  // READ CAPACITY(10)
        case 0x28:  // READ(10)
        case 0x88:  // READ(16)
            return Kind::Passed;
        case 0x9E:  // SERVICE ACTION IN(16): READ CAPACITY(16) only
            return (cdb[1] & 0x1F) == 0x10 ? Kind::Passed : Kind::Refused;
        case 0x2A:  // WRITE(10)
        case 0x8A:  // WRITE(16)
            return Kind::UserWrite;
        case 0xFF:  // a vendor command block that an older bridge takes as its own command
            return cdb[1] == 0x04 ? Kind::Passed : Kind::Refused;
        default:
            return Kind::Refused;
    }
}

// The drive ran the command without an error: GOOD, or the register file a CK_COND request brings
// back under NO SENSE or RECOVERED ERROR.
bool RanCleanly(const sg_io_hdr_t& request) {
    constexpr unsigned kDriverSense = 0x08;
    if (request.host_status != 0 || (request.driver_status & ~kDriverSense) != 0) return false;
    if (request.status == 0) return true;
    if (request.status != 0x02 || request.sb_len_wr < 3) return false;
    const auto* sense = request.sbp;
    const std::uint8_t format = sense[0] & 0x7F;
    const std::uint8_t key = format >= 0x72 ? sense[1] & 0x0F : sense[2] & 0x0F;
    return format >= 0x70 && format <= 0x73 && key <= 0x01;
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
        case Op::SgIo:
            return DoSgIo(request.sg);
        case Op::Now:
            answer.now_ms = backend_.NowMs();
            break;
        case Op::Sleep:
            backend_.SleepMs(request.ms);
            break;
    }
    return answer;
}

helper::Answer Server::DoSgIo(const SgRequest& sg) {
    const auto it = open_.find(sg.handle);
    if (it == open_.end()) return Refusal(Op::SgIo, Status::BadHandle, "no such handle");
    helper::Answer answer;
    answer.op = Op::SgIo;
    const std::string& node = it->second.node;
    const Kind kind = KindOf(sg.cdb);
    // Refused as the kernel refuses a request: with an errno value, the device never asked.
    if (kind == Kind::Refused) {
        answer.sg.error = EOPNOTSUPP;
        return answer;
    }
    const bool vendor_drive = kind == Kind::CarrierWrite && unlocked_.contains(node);
    if ((kind == Kind::UserWrite || kind == Kind::CarrierWrite) && !vendor_drive &&
        !HoldsForWriting(node)) {
        answer.sg.error = EBUSY;
        return answer;
    }

    std::array<std::uint8_t, 16> cdb{};
    std::copy(sg.cdb.begin(), sg.cdb.end(), cdb.begin());
    std::vector<std::uint8_t> data(sg.transfer_length);
    if (sg.direction == Direction::ToDevice) data = sg.data_out;
    std::vector<std::uint8_t> sense(sg.max_sense);

    sg_io_hdr_t request{};
    request.interface_id = 'S';
    request.cmdp = cdb.data();
    request.cmd_len = static_cast<unsigned char>(sg.cdb.size());
    request.sbp = sense.data();
    request.mx_sb_len = sg.max_sense;
    request.dxfer_direction = sg.direction == Direction::FromDevice ? SG_DXFER_FROM_DEV
                              : sg.direction == Direction::ToDevice ? SG_DXFER_TO_DEV
                                                                    : SG_DXFER_NONE;
    request.dxferp = data.empty() ? nullptr : data.data();
    request.dxfer_len = sg.transfer_length;
    request.timeout = sg.timeout_ms;

    auto& out = answer.sg;
    out.error = backend_.SgIo(it->second.theirs, request);
    if (out.error != 0) return answer;
    if (kind == Kind::Unlock && RanCleanly(request)) unlocked_.insert(node);
    out.status = request.status;
    out.masked_status = request.masked_status;
    out.msg_status = request.msg_status;
    out.host_status = request.host_status;
    out.driver_status = request.driver_status;
    out.resid = request.resid;
    out.duration = request.duration;
    out.info = request.info;
    sense.resize(std::min<std::size_t>(request.sb_len_wr, sense.size()));
    out.sense = std::move(sense);
    if (sg.direction == Direction::FromDevice) out.data_in = std::move(data);
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
