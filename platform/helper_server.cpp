#include "platform/helper_server.h"

#include <algorithm>
#include <cerrno>

#include "platform/helper_channel.h"

namespace vt::platform::helper {

Server::~Server() {
    for (const auto& [ours, theirs] : open_) backend_.Close(theirs);
    // A client that went away gives its drives free again.
    for (const auto& [ours, theirs] : locks_) backend_.UnlockDevice(theirs);
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
            if (open_.size() >= kMaxOpen) {
                answer.result = -EMFILE;
                break;
            }
            const int handle = backend_.Open(disk->path);
            if (handle < 0) {
                answer.result = handle;
                break;
            }
            const std::uint32_t ours = next_handle_++ & 0x7FFFFFFF;
            open_[ours] = handle;
            answer.result = static_cast<std::int32_t>(ours);
            break;
        }
        case Op::Close: {
            const auto it = open_.find(request.handle);
            if (it == open_.end()) return Refusal(request.op, Status::BadHandle, "no such handle");
            backend_.Close(it->second);
            open_.erase(it);
            break;
        }
        case Op::LockDevice: {
            const DiskEntry* disk = Listed(request.path);
            if (disk == nullptr) return Refusal(request.op, Status::NotListed, "not a listed disk");
            if (locks_.size() >= kMaxOpen) {
                answer.result = -ENOLCK;
                break;
            }
            const int lock = backend_.LockDevice(disk->path, request.ms);
            if (lock < 0) {
                answer.result = lock;
                break;
            }
            const std::uint32_t ours = next_handle_++ & 0x7FFFFFFF;
            locks_[ours] = lock;
            answer.result = static_cast<std::int32_t>(ours);
            break;
        }
        case Op::UnlockDevice: {
            const auto it = locks_.find(request.handle);
            if (it == locks_.end()) return Refusal(request.op, Status::BadHandle, "no such lock");
            backend_.UnlockDevice(it->second);
            locks_.erase(it);
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

helper::Answer Server::DoScsi(const ScsiCall& call) {
    const auto it = open_.find(call.handle);
    if (it == open_.end()) return Refusal(Op::ScsiPassThrough, Status::BadHandle, "no such handle");
    CallBuffers buffers(call);
    ScsiRequest request;
    request.SetCdb(call.cdb);
    buffers.Lend(call, request);
    const int error = backend_.ScsiPassThrough(it->second, request);

    helper::Answer answer;
    answer.op = Op::ScsiPassThrough;
    answer.call = buffers.Return(error, call, request);
    return answer;
}

helper::Answer Server::DoAta(const AtaCall& call) {
    const auto it = open_.find(call.handle);
    if (it == open_.end()) return Refusal(Op::AtaPassThrough, Status::BadHandle, "no such handle");
    CallBuffers buffers(call);
    AtaRequest request;
    request.task_file = call.task_file;
    request.dma = call.dma;
    buffers.Lend(call, request);
    const int error = backend_.AtaPassThrough(it->second, request);

    helper::Answer answer;
    answer.op = Op::AtaPassThrough;
    answer.call = buffers.Return(error, call, request);
    if (error == 0) {
        answer.call.registers = request.registers;
        answer.call.registers_returned = request.registers_returned;
        answer.call.refused = request.refused;
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
