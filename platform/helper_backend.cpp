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

// The helper takes only what the tool sends: one flat buffer of at most the largest transfer.
// The kernel's default time-out stands in for none.
template <typename DeviceRequest>
int ToWire(int handle, const DeviceRequest& in, helper::Call& out) {
    switch (in.direction) {
        case Direction::None:
        case Direction::In:
        case Direction::Out:
            out.direction = in.direction;
            break;
        default:
            return EINVAL;
    }
    const std::size_t length = in.direction == Direction::None ? 0 : in.data.size();
    if (length > helper::kMaxTransfer) return EINVAL;
    if (length > 0 && in.data.data() == nullptr) return EFAULT;
    out.transfer_length = static_cast<std::uint32_t>(length);
    out.timeout_ms = in.timeout_ms == 0 ? 60'000 : in.timeout_ms;
    if (out.timeout_ms > helper::kMaxTimeoutMs) return EINVAL;
    out.handle = static_cast<std::uint32_t>(handle);
    out.max_sense = static_cast<std::uint8_t>(std::min(in.sense.size(), helper::kMaxSense));
    if (out.direction == Direction::Out)
        out.data_out.assign(in.data.begin(), in.data.begin() + length);
    return 0;
}

// What came back, into the caller's buffers and no further than the request reached.
template <typename DeviceRequest>
void FromWire(const helper::Call& call, const helper::CallOutcome& ended, DeviceRequest& request) {
    request.outcome = ended.outcome;
    request.outcome.residue = std::min(ended.outcome.residue, call.transfer_length);
    const std::size_t sense = std::min<std::size_t>(ended.sense.size(), call.max_sense);
    std::copy_n(ended.sense.begin(), sense, request.sense.begin());
    request.outcome.sense_length = sense;
    if (call.direction == Direction::In) {
        const std::size_t data = std::min<std::size_t>(ended.data_in.size(), call.transfer_length);
        std::copy_n(ended.data_in.begin(), data, request.data.begin());
    }
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

int HelperBackend::PassThrough(const Request& request, helper::CallOutcome& ended) {
    auto answer = Call(request);
    if (!answer) return EIO;
    if (answer->status != Status::Ok) return ErrnoOf(answer->status);
    ended = std::move(answer->call);
    return ended.error;
}

int HelperBackend::ScsiPassThrough(int handle, ScsiRequest& request) {
    Request call = Simple(Op::ScsiPassThrough);
    if (request.cdb_length < 6 || request.cdb_length > kMaxCdbLength) return EINVAL;
    if (const int refused = ToWire(handle, request, call.scsi)) return refused;
    const auto cdb = request.Cdb();
    call.scsi.cdb.assign(cdb.begin(), cdb.end());
    helper::CallOutcome ended;
    if (const int error = PassThrough(call, ended)) return error;
    FromWire(call.scsi, ended, request);
    return 0;
}

int HelperBackend::AtaPassThrough(int handle, AtaRequest& request) {
    Request call = Simple(Op::AtaPassThrough);
    if (const int refused = ToWire(handle, request, call.ata)) return refused;
    call.ata.task_file = request.task_file;
    call.ata.extended = request.extended;
    if (request.extended) call.ata.previous = request.previous;
    call.ata.dma = request.dma && request.direction != Direction::None;
    helper::CallOutcome ended;
    if (const int error = PassThrough(call, ended)) return error;
    FromWire(call.ata, ended, request);
    request.registers = ended.registers;
    request.registers_returned = ended.registers_returned;
    request.refused = ended.refused;
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

std::unique_ptr<Backend> StartSystemHelper(std::string& error) {
    return StartHelper(HelperCommand(), error);
}

}  // namespace vt::platform
