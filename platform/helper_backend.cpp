#include "platform/helper_backend.h"

#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "platform/files.h"
#include "platform/helper_channel.h"
#include "platform/linux_backend.h"

extern char** environ;

namespace vt::platform {
namespace {

using helper::Answer;
using helper::Op;
using helper::Request;
using helper::Status;

int ErrnoOf(Status status) {
    switch (status) {
        case Status::Ok:
            return 0;
        case Status::Malformed:
            return EINVAL;
        case Status::NotListed:
            return ENOENT;
        case Status::BadHandle:
            return EBADF;
        case Status::Failed:
            break;
    }
    return EIO;
}

Request Simple(Op op) {
    Request request;
    request.op = op;
    return request;
}

// The helper takes only what the tool sends: a CDB of 6 to 16 bytes, one flat buffer of at most
// the largest transfer, no scatter list. The kernel's default time-out stands in for none.
int ToWire(int handle, const sg_io_hdr_t& in, helper::SgRequest& out) {
    if (in.interface_id != 'S') return ENOSYS;
    if (in.iovec_count != 0 || in.cmdp == nullptr || in.cmd_len < 6 || in.cmd_len > 16)
        return EINVAL;
    switch (in.dxfer_direction) {
        case SG_DXFER_NONE:
            out.direction = helper::Direction::None;
            break;
        case SG_DXFER_FROM_DEV:
            out.direction = helper::Direction::FromDevice;
            break;
        case SG_DXFER_TO_DEV:
            out.direction = helper::Direction::ToDevice;
            break;
        default:
            return EINVAL;
    }
    out.transfer_length = out.direction == helper::Direction::None ? 0 : in.dxfer_len;
    if (out.transfer_length > helper::kMaxTransfer) return EINVAL;
    if (out.transfer_length > 0 && in.dxferp == nullptr) return EFAULT;
    out.timeout_ms = in.timeout == 0 ? 60'000 : in.timeout;
    if (out.timeout_ms > helper::kMaxTimeoutMs) return EINVAL;
    out.handle = static_cast<std::uint32_t>(handle);
    out.cdb.assign(in.cmdp, in.cmdp + in.cmd_len);
    out.max_sense =
        in.sbp == nullptr
            ? 0
            : static_cast<std::uint8_t>(std::min<std::size_t>(in.mx_sb_len, helper::kMaxSense));
    if (out.direction == helper::Direction::ToDevice) {
        const auto* data = static_cast<const std::uint8_t*>(in.dxferp);
        out.data_out.assign(data, data + out.transfer_length);
    }
    return 0;
}

}  // namespace

HelperBackend::HelperBackend(int read_fd, int write_fd, pid_t child)
    : read_fd_(read_fd),
      write_fd_(write_fd),
      child_(child),
      local_(std::make_unique<LinuxBackend>()) {}

HelperBackend::~HelperBackend() {
    // The helper ends when it reads the end of its input.
    if (read_fd_ >= 0) ::close(read_fd_);
    if (write_fd_ >= 0 && write_fd_ != read_fd_) ::close(write_fd_);
    if (child_ <= 0) return;
    for (int i = 0; i < 200; ++i) {
        const pid_t done = ::waitpid(child_, nullptr, WNOHANG);
        if (done == child_ || (done < 0 && errno != EINTR)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::optional<Answer> HelperBackend::Call(const Request& request) {
    if (read_fd_ < 0) return std::nullopt;
    std::vector<std::uint8_t> body;
    if (helper::WriteFrame(write_fd_, helper::EncodeRequest(request)) &&
        helper::ReadFrame(read_fd_, helper::kMaxFrame, body) == helper::ReadResult::Frame) {
        auto decoded = helper::DecodeAnswer(body);
        if (auto* answer = std::get_if<Answer>(&decoded);
            answer != nullptr && answer->op == request.op)
            return std::move(*answer);
    }
    // A helper that is gone or out of step is not asked again.
    ::close(read_fd_);
    if (write_fd_ != read_fd_) ::close(write_fd_);
    read_fd_ = write_fd_ = -1;
    return std::nullopt;
}

bool HelperBackend::Greet(std::string& error) {
    const auto answer = Call(Simple(Op::Hello));
    if (!answer) {
        error = "the helper did not answer";
        return false;
    }
    if (answer->status != Status::Ok) {
        error = "the helper refused: " + answer->message;
        return false;
    }
    virtual_clock_ = answer->virtual_clock;
    return true;
}

int HelperBackend::CallForId(const Request& request) {
    if (request.path.empty() || request.path.size() > helper::kMaxPath) return -ENOENT;
    const auto answer = Call(request);
    if (!answer) return -EIO;
    if (answer->status != Status::Ok) return -ErrnoOf(answer->status);
    return answer->result;
}

int HelperBackend::Open(const std::string& path) {
    Request request = Simple(Op::Open);
    request.path = path;
    return CallForId(request);
}

int HelperBackend::SgIo(int handle, sg_io_hdr_t& request) {
    Request call = Simple(Op::SgIo);
    if (const int refused = ToWire(handle, request, call.sg)) return refused;
    const auto answer = Call(call);
    if (!answer) return EIO;
    if (answer->status != Status::Ok) return ErrnoOf(answer->status);
    const auto& sg = answer->sg;
    if (sg.error != 0) return sg.error;
    request.status = sg.status;
    request.masked_status = sg.masked_status;
    request.msg_status = sg.msg_status;
    request.host_status = sg.host_status;
    request.driver_status = sg.driver_status;
    request.resid = sg.resid;
    request.duration = sg.duration;
    request.info = sg.info;
    const std::size_t sense = std::min<std::size_t>(sg.sense.size(), call.sg.max_sense);
    if (sense > 0) std::memcpy(request.sbp, sg.sense.data(), sense);
    request.sb_len_wr = static_cast<unsigned char>(sense);
    const std::size_t data = std::min<std::size_t>(sg.data_in.size(), call.sg.transfer_length);
    if (call.sg.direction == helper::Direction::FromDevice && data > 0)
        std::memcpy(request.dxferp, sg.data_in.data(), data);
    return 0;
}

void HelperBackend::Close(int handle) {
    Request request = Simple(Op::Close);
    request.handle = static_cast<std::uint32_t>(handle);
    Call(request);
}

int HelperBackend::LockDevice(const std::string& path, std::uint32_t wait_ms) {
    Request request = Simple(Op::LockDevice);
    request.path = path;
    request.ms = std::min(wait_ms, helper::kMaxLockWaitMs);
    return CallForId(request);
}

void HelperBackend::UnlockDevice(int lock) {
    Request request = Simple(Op::UnlockDevice);
    request.handle = static_cast<std::uint32_t>(lock);
    Call(request);
}

DiskUse HelperBackend::DescribeUse(const std::string& path) {
    Request request = Simple(Op::DescribeUse);
    request.path = path;
    if (path.empty() || path.size() > helper::kMaxPath) return {};
    const auto answer = Call(request);
    if (!answer || answer->status != Status::Ok) return {};
    return answer->use;
}

int HelperBackend::HoldForWriting(const std::string& path) {
    Request request = Simple(Op::HoldForWriting);
    request.path = path;
    return CallForId(request);
}

void HelperBackend::ReleaseHold(int hold) {
    Request request = Simple(Op::ReleaseHold);
    request.handle = static_cast<std::uint32_t>(hold);
    Call(request);
}

std::vector<DiskEntry> HelperBackend::ListDisks() {
    const auto answer = Call(Simple(Op::ListDisks));
    if (!answer || answer->status != Status::Ok) return {};
    return answer->disks;
}

bool HelperBackend::Rescan(std::string& report) {
    const auto answer = Call(Simple(Op::Rescan));
    if (!answer) {
        report += "Rescan failed: the helper is gone\n";
        return false;
    }
    report += answer->report;
    return answer->status == Status::Ok && answer->ok;
}

std::optional<DeviceNumber> HelperBackend::DeviceNumberOf(const std::string& path) {
    Request request = Simple(Op::DeviceNumber);
    request.path = path;
    if (path.empty() || path.size() > helper::kMaxPath) return std::nullopt;
    const auto answer = Call(request);
    if (!answer || answer->status != Status::Ok || !answer->ok) return std::nullopt;
    return answer->number;
}

std::uint64_t HelperBackend::NowMs() {
    if (!virtual_clock_) return local_->NowMs();
    const auto answer = Call(Simple(Op::Now));
    return answer && answer->status == Status::Ok ? answer->now_ms : 0;
}

void HelperBackend::SleepMs(std::uint32_t ms) {
    if (!virtual_clock_) return local_->SleepMs(ms);
    Request request = Simple(Op::Sleep);
    request.ms = std::min(ms, helper::kMaxSleepMs);
    Call(request);
}

std::vector<std::string> HelperCommand() {
    if (const char* words = std::getenv("VTUTIL_HELPER"); words != nullptr && *words != '\0') {
        std::vector<std::string> command;
        std::istringstream in(words);
        for (std::string word; in >> word;) command.push_back(word);
        return command;
    }
    // pkexec runs only an absolute path, the one its policy names.
    return {"pkexec", ProgramDirectory() + "/vtutility-helper"};
}

std::unique_ptr<HelperBackend> StartHelper(const std::vector<std::string>& command,
                                           std::string& error) {
    if (command.empty()) {
        error = "no helper command";
        return nullptr;
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        error = std::string("socketpair: ") + std::strerror(errno);
        return nullptr;
    }
    std::vector<char*> argv;
    for (const auto& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    pid_t child = -1;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        error = "cannot start " + command[0] + ": " + std::strerror(spawned);
        return nullptr;
    }
    auto backend = std::make_unique<HelperBackend>(ends[0], ends[0], child);
    if (!backend->Greet(error)) return nullptr;
    return backend;
}

}  // namespace vt::platform
