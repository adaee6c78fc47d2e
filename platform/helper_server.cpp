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
    out.error = backend_.SgIo(it->second, request);
    if (out.error != 0) return answer;
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
