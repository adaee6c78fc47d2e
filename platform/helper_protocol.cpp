#include "platform/helper_protocol.h"

#include <algorithm>

namespace vt::platform::helper {
namespace {

class Writer {
  public:
    void U8(std::uint8_t v) { bytes_.push_back(v); }
    void U16(std::uint16_t v) { Little(v, 2); }
    void U32(std::uint32_t v) { Little(v, 4); }
    void U64(std::uint64_t v) { Little(v, 8); }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void Bytes(std::span<const std::uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
    // Strings longer than a field may hold are cut: only reports are long, and they are text.
    void Text(const std::string& s, std::size_t limit) {
        const std::size_t n = std::min(s.size(), limit);
        U16(static_cast<std::uint16_t>(n));
        bytes_.insert(bytes_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

  private:
    void Little(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    std::vector<std::uint8_t> bytes_;
};

// Reads fields off a body; after the first short read every value is zero and Ok() is false.
class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> body) : body_(body) {}
    std::uint8_t U8() { return static_cast<std::uint8_t>(Little(1)); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Little(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Little(4)); }
    std::uint64_t U64() { return Little(8); }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    std::vector<std::uint8_t> Bytes(std::size_t n) {
        if (!Has(n)) return {};
        std::vector<std::uint8_t> out(body_.begin() + at_, body_.begin() + at_ + n);
        at_ += n;
        return out;
    }
    std::string Text(std::size_t limit) {
        const std::size_t n = U16();
        if (n > limit) {
            ok_ = false;
            return {};
        }
        const auto bytes = Bytes(n);
        return {bytes.begin(), bytes.end()};
    }
    bool Ok() const { return ok_; }
    bool AtEnd() const { return ok_ && at_ == body_.size(); }

  private:
    bool Has(std::size_t n) {
        if (ok_ && body_.size() - at_ >= n) return true;
        ok_ = false;
        return false;
    }
    std::uint64_t Little(int n) {
        if (!Has(static_cast<std::size_t>(n))) return 0;
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(body_[at_ + i]) << (8 * i);
        at_ += static_cast<std::size_t>(n);
        return v;
    }
    std::span<const std::uint8_t> body_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

// A path the enumeration could have produced: printable, no NUL, within the enumeration's limit.
bool PlausiblePath(const std::string& path) {
    if (path.empty() || path.size() > kMaxPath) return false;
    return std::all_of(path.begin(), path.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F; });
}

bool ReadDirection(Reader& r, Call& call) {
    const auto direction = r.U8();
    if (direction > static_cast<std::uint8_t>(Direction::Out)) return false;
    call.direction = static_cast<Direction>(direction);
    return true;
}

std::optional<std::string> CheckCall(const Call& call) {
    if (call.transfer_length > kMaxTransfer) return "transfer too long";
    if (call.direction == Direction::None && call.transfer_length != 0)
        return "a transfer length without a direction";
    if (call.timeout_ms == 0 || call.timeout_ms > kMaxTimeoutMs) return "time-out out of range";
    if (call.max_sense > kMaxSense) return "sense buffer too long";
    return std::nullopt;
}

// The part after each request's own fields: the lengths, the time-out, then the data out.
void WriteTail(Writer& w, const Call& call) {
    w.U32(call.transfer_length);
    w.U32(call.timeout_ms);
    w.U8(call.max_sense);
    w.Bytes(call.data_out);
}

std::optional<std::string> ReadTail(Reader& r, Call& call) {
    call.transfer_length = r.U32();
    call.timeout_ms = r.U32();
    call.max_sense = r.U8();
    if (!r.Ok()) return std::nullopt;  // reported as too short
    if (auto fault = CheckCall(call)) return fault;
    if (call.direction == Direction::Out) call.data_out = r.Bytes(call.transfer_length);
    return std::nullopt;
}

void WriteOutcome(Writer& w, const CallOutcome& call) {
    w.I32(call.error);
    w.U8(static_cast<std::uint8_t>(call.outcome.transport));
    w.U8(call.outcome.scsi_status);
    w.U32(call.outcome.residue);
    w.U32(call.outcome.duration_ms);
    const std::size_t sense = std::min(call.sense.size(), kMaxSense);
    w.U8(static_cast<std::uint8_t>(sense));
    w.Bytes(std::span(call.sense).first(sense));
    const std::size_t data = std::min<std::size_t>(call.data_in.size(), kMaxTransfer);
    w.U32(static_cast<std::uint32_t>(data));
    w.Bytes(std::span(call.data_in).first(data));
}

std::optional<std::string> ReadOutcome(Reader& r, CallOutcome& call) {
    call.error = r.I32();
    const auto transport = r.U8();
    if (transport > static_cast<std::uint8_t>(Transport::Failed))
        return std::string("unknown transport verdict");
    call.outcome.transport = static_cast<Transport>(transport);
    call.outcome.scsi_status = r.U8();
    call.outcome.residue = r.U32();
    call.outcome.duration_ms = r.U32();
    const std::size_t sense = r.U8();
    if (sense > kMaxSense) return std::string("sense too long");
    call.sense = r.Bytes(sense);
    call.outcome.sense_length = call.sense.size();
    const std::size_t data = r.U32();
    if (data > kMaxTransfer) return std::string("transfer too long");
    call.data_in = r.Bytes(data);
    return std::nullopt;
}

constexpr std::uint8_t kRegistersReturned = 0x01, kRefused = 0x02;
constexpr std::uint8_t kAtaDma = 0x01, kAtaExtended = 0x02;

}  // namespace

Answer Refusal(Op op, Status status, std::string message) {
    Answer answer;
    answer.op = op;
    answer.status = status;
    answer.message = std::move(message);
    return answer;
}

std::vector<std::uint8_t> EncodeRequest(const Request& request) {
    Writer w;
    w.U8(kVersion);
    w.U8(static_cast<std::uint8_t>(request.op));
    switch (request.op) {
        case Op::Open:
        case Op::DeviceNumber:
        case Op::DescribeUse:
        case Op::HoldForWriting:
            w.Text(request.path, kMaxPath);
            break;
        case Op::Close:
        case Op::UnlockDevice:
        case Op::ReleaseHold:
            w.U32(request.handle);
            break;
        case Op::Sleep:
            w.U32(request.ms);
            break;
        case Op::LockDevice:
            w.Text(request.path, kMaxPath);
            w.U32(request.ms);
            break;
        case Op::ScsiPassThrough:
            w.U32(request.scsi.handle);
            w.U8(static_cast<std::uint8_t>(request.scsi.direction));
            w.U8(static_cast<std::uint8_t>(request.scsi.cdb.size()));
            w.Bytes(request.scsi.cdb);
            WriteTail(w, request.scsi);
            break;
        case Op::AtaPassThrough:
            w.U32(request.ata.handle);
            w.U8(static_cast<std::uint8_t>(request.ata.direction));
            w.U8((request.ata.dma ? kAtaDma : 0) | (request.ata.extended ? kAtaExtended : 0));
            w.Bytes(request.ata.task_file);
            w.Bytes(request.ata.previous);
            WriteTail(w, request.ata);
            break;
        case Op::Hello:
        case Op::ListDisks:
        case Op::Rescan:
        case Op::Now:
            break;
    }
    return w.Take();
}

std::variant<Request, std::string> DecodeRequest(std::span<const std::uint8_t> body) {
    Reader r(body);
    const auto version = r.U8();
    const auto op = r.U8();
    if (!r.Ok()) return std::string("request too short");
    if (version != kVersion) return "unsupported format version " + std::to_string(version);
    if (!IsKnownOp(op)) return "unknown operation " + std::to_string(op);
    Request request;
    request.op = static_cast<Op>(op);
    switch (request.op) {
        case Op::Open:
        case Op::DeviceNumber:
        case Op::DescribeUse:
        case Op::HoldForWriting:
            request.path = r.Text(kMaxPath);
            if (r.Ok() && !PlausiblePath(request.path)) return std::string("bad path");
            break;
        case Op::Close:
        case Op::UnlockDevice:
        case Op::ReleaseHold:
            request.handle = r.U32();
            break;
        case Op::Sleep:
            request.ms = r.U32();
            if (request.ms > kMaxSleepMs) return std::string("sleep too long");
            break;
        case Op::LockDevice:
            request.path = r.Text(kMaxPath);
            if (r.Ok() && !PlausiblePath(request.path)) return std::string("bad path");
            request.ms = r.U32();
            if (request.ms > kMaxLockWaitMs) return std::string("lock wait too long");
            break;
        case Op::ScsiPassThrough: {
            auto& call = request.scsi;
            call.handle = r.U32();
            if (!ReadDirection(r, call)) return std::string("unknown transfer direction");
            const auto cdb_length = r.U8();
            if (cdb_length < 6 || cdb_length > kMaxCdbLength)
                return std::string("CDB length out of range");
            call.cdb = r.Bytes(cdb_length);
            if (auto fault = ReadTail(r, call)) return *fault;
            break;
        }
        case Op::AtaPassThrough: {
            auto& call = request.ata;
            call.handle = r.U32();
            if (!ReadDirection(r, call)) return std::string("unknown transfer direction");
            const auto flags = r.U8();
            if ((flags & ~(kAtaDma | kAtaExtended)) != 0) return std::string("unknown protocol");
            call.dma = (flags & kAtaDma) != 0;
            call.extended = (flags & kAtaExtended) != 0;
            // DMA names how data moves: a command without data has no DMA protocol to ask for.
            if (call.dma && call.direction == Direction::None)
                return std::string("DMA without a data phase");
            const auto task_file = r.Bytes(call.task_file.size());
            std::copy(task_file.begin(), task_file.end(), call.task_file.begin());
            const auto previous = r.Bytes(call.previous.size());
            std::copy(previous.begin(), previous.end(), call.previous.begin());
            if (auto fault = ReadTail(r, call)) return *fault;
            break;
        }
        case Op::Hello:
        case Op::ListDisks:
        case Op::Rescan:
        case Op::Now:
            break;
    }
    if (!r.Ok()) return std::string("request too short");
    if (!r.AtEnd()) return std::string("request too long");
    return request;
}

std::vector<std::uint8_t> EncodeAnswer(const Answer& answer) {
    Writer w;
    w.U8(kVersion);
    w.U8(static_cast<std::uint8_t>(answer.op));
    w.U8(static_cast<std::uint8_t>(answer.status));
    if (answer.status != Status::Ok) {
        w.Text(answer.message, kMaxText);
        return w.Take();
    }
    switch (answer.op) {
        case Op::Hello:
            w.U8(answer.virtual_clock ? 1 : 0);
            break;
        case Op::ListDisks: {
            const std::size_t count = std::min(answer.disks.size(), kMaxDisks);
            w.U16(static_cast<std::uint16_t>(count));
            for (std::size_t i = 0; i < count; ++i) {
                w.Text(answer.disks[i].path, kMaxPath);
                w.Text(answer.disks[i].bus, kMaxPath);
                w.Text(answer.disks[i].node, kMaxPath);
            }
            break;
        }
        case Op::Rescan:
            w.U8(answer.ok ? 1 : 0);
            w.Text(answer.report, kMaxText);
            break;
        case Op::DeviceNumber:
            w.U8(answer.ok ? 1 : 0);
            w.U32(answer.number.major);
            w.U32(answer.number.minor);
            break;
        case Op::Open:
        case Op::LockDevice:
        case Op::HoldForWriting:
            w.I32(answer.result);
            break;
        case Op::Now:
            w.U64(answer.now_ms);
            break;
        case Op::DescribeUse: {
            const auto& use = answer.use;
            const std::size_t partitions = std::min(use.partitions.size(), kMaxUseEntries);
            w.U16(static_cast<std::uint16_t>(partitions));
            for (std::size_t i = 0; i < partitions; ++i) w.Text(use.partitions[i], kMaxPath);
            const std::size_t users = std::min(use.users.size(), kMaxUseEntries);
            w.U16(static_cast<std::uint16_t>(users));
            for (std::size_t i = 0; i < users; ++i) {
                w.U8(static_cast<std::uint8_t>(use.users[i].kind));
                w.Text(use.users[i].device, kMaxPath);
                w.Text(use.users[i].what, kMaxMountPoint);
            }
            break;
        }
        case Op::ScsiPassThrough:
            WriteOutcome(w, answer.call);
            break;
        case Op::AtaPassThrough:
            WriteOutcome(w, answer.call);
            w.Bytes(answer.call.registers);
            w.U8((answer.call.registers_returned ? kRegistersReturned : 0) |
                 (answer.call.refused ? kRefused : 0));
            break;
        case Op::Close:
        case Op::Sleep:
        case Op::UnlockDevice:
        case Op::ReleaseHold:
            break;
    }
    return w.Take();
}

std::variant<Answer, std::string> DecodeAnswer(std::span<const std::uint8_t> body) {
    Reader r(body);
    const auto version = r.U8();
    const auto op = r.U8();
    const auto status = r.U8();
    if (!r.Ok()) return std::string("answer too short");
    if (version != kVersion) return "the helper speaks format version " + std::to_string(version);
    if (!IsKnownOp(op) || status > static_cast<std::uint8_t>(Status::Failed))
        return std::string("unknown answer");
    Answer answer;
    answer.op = static_cast<Op>(op);
    answer.status = static_cast<Status>(status);
    if (answer.status != Status::Ok) {
        answer.message = r.Text(kMaxText);
    } else {
        switch (answer.op) {
            case Op::Hello:
                answer.virtual_clock = r.U8() != 0;
                break;
            case Op::ListDisks: {
                const std::size_t count = r.U16();
                if (count > kMaxDisks) return std::string("too many disks");
                for (std::size_t i = 0; i < count && r.Ok(); ++i) {
                    DiskEntry disk;
                    disk.path = r.Text(kMaxPath);
                    disk.bus = r.Text(kMaxPath);
                    disk.node = r.Text(kMaxPath);
                    answer.disks.push_back(std::move(disk));
                }
                break;
            }
            case Op::Rescan:
                answer.ok = r.U8() != 0;
                answer.report = r.Text(kMaxText);
                break;
            case Op::DeviceNumber:
                answer.ok = r.U8() != 0;
                answer.number.major = r.U32();
                answer.number.minor = r.U32();
                break;
            case Op::Open:
            case Op::LockDevice:
            case Op::HoldForWriting:
                answer.result = r.I32();
                break;
            case Op::Now:
                answer.now_ms = r.U64();
                break;
            case Op::DescribeUse: {
                auto& use = answer.use;
                const std::size_t partitions = r.U16();
                if (partitions > kMaxUseEntries) return std::string("too many partitions");
                for (std::size_t i = 0; i < partitions && r.Ok(); ++i)
                    use.partitions.push_back(r.Text(kMaxPath));
                const std::size_t users = r.U16();
                if (users > kMaxUseEntries) return std::string("too many users");
                for (std::size_t i = 0; i < users && r.Ok(); ++i) {
                    const auto kind = r.U8();
                    if (kind < 1 || kind > static_cast<std::uint8_t>(DiskUser::Kind::Holder))
                        return std::string("unknown disk user");
                    DiskUser user;
                    user.kind = static_cast<DiskUser::Kind>(kind);
                    user.device = r.Text(kMaxPath);
                    user.what = r.Text(kMaxMountPoint);
                    use.users.push_back(std::move(user));
                }
                break;
            }
            case Op::ScsiPassThrough:
                if (auto fault = ReadOutcome(r, answer.call)) return *fault;
                break;
            case Op::AtaPassThrough: {
                if (auto fault = ReadOutcome(r, answer.call)) return *fault;
                const auto registers = r.Bytes(answer.call.registers.size());
                std::copy(registers.begin(), registers.end(), answer.call.registers.begin());
                const auto flags = r.U8();
                if ((flags & ~(kRegistersReturned | kRefused)) != 0)
                    return std::string("unknown answer flags");
                answer.call.registers_returned = (flags & kRegistersReturned) != 0;
                answer.call.refused = (flags & kRefused) != 0;
                break;
            }
            case Op::Close:
            case Op::Sleep:
            case Op::UnlockDevice:
            case Op::ReleaseHold:
                break;
        }
    }
    if (!r.Ok()) return std::string("answer too short");
    if (!r.AtEnd()) return std::string("answer too long");
    return answer;
}

}  // namespace vt::platform::helper
