#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

namespace vt::platform {
namespace {

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A FIFO or device planted at the name must neither block the open nor receive the bytes; the
// truncation waits until the file is known to be a regular one.
bool WriteWithFlags(const std::string& path, std::span<const std::uint8_t> bytes, int flags) {
    const int fd = ::open(path.c_str(),
                          flags | O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && (flags & O_APPEND) == 0) ok = ::ftruncate(fd, 0) == 0;
    ok = ok && WriteAll(fd, bytes);
    return (::close(fd) == 0) && ok;
}

}  // namespace

bool AppendToFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return WriteWithFlags(path, bytes, O_APPEND);
}

bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return WriteWithFlags(path, bytes, 0);
}

bool ReplaceFile(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "Cannot create " + temp + ": " + std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes);
    // On disk before the rename: a crash must leave the old file or the new one, never an empty
    // one under the name.
    ok = ok && ::fdatasync(fd) == 0;
    int saved = errno;
    // mkostemp makes 0600; a report should be readable like any other file.
    if (ok) (void)::fchmod(fd, 0644);
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        error = "Cannot write " + path + ": " + std::strerror(saved);
    }
    return ok;
}

InputFile::InputFile(const std::string& path, Links links) : path_(path) {
    const int follow = links == Links::Follow ? 0 : O_NOFOLLOW;
    fd_ = ::open(path.c_str(), O_RDONLY | follow | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = errno == ELOOP ? path + " is a symbolic link; refusing to follow it"
                                : "Cannot open " + path + ": " + std::strerror(errno);
        return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = path + " is not a regular file";
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::size_t> InputFile::Read(std::span<std::uint8_t> into) {
    if (fd_ < 0) return std::nullopt;
    for (;;) {
        const ssize_t n = ::read(fd_, into.data(), into.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        error_ = "Cannot read " + path_ + ": " + std::strerror(errno);
        return std::nullopt;
    }
}

std::optional<std::vector<std::uint8_t>> ReadFileHead(const std::string& path,
                                                      std::size_t max_bytes, std::string& error,
                                                      bool& cut, InputFile::Links links) {
    cut = false;
    InputFile file(path, links);
    if (!file.IsOpen()) {
        error = file.error();
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), max_bytes)));
    std::array<std::uint8_t, 65536> chunk{};
    while (bytes.size() < max_bytes) {
        const std::size_t want = std::min(chunk.size(), max_bytes - bytes.size());
        const auto n = file.Read(std::span(chunk).first(want));
        if (!n) {
            error = file.error();
            return std::nullopt;
        }
        if (*n == 0) return bytes;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*n));
    }
    std::uint8_t probe = 0;
    const auto more = file.Read({&probe, 1});
    cut = more && *more > 0;
    return bytes;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path,
                                                       std::size_t max_bytes, std::string& error) {
    bool cut = false;
    auto bytes = ReadFileHead(path, max_bytes, error, cut);
    if (bytes && cut) {
        error = path + " is larger than the limit of " + std::to_string(max_bytes) + " bytes";
        return std::nullopt;
    }
    return bytes;
}

namespace {

// The temporary file a signal must remove, in storage a signal handler may read.
char pending_temp[4096];
volatile std::sig_atomic_t temp_pending = 0;
struct sigaction old_int {}, old_term {};

void RemovePendingTemp(int signal_number) {
    if (temp_pending) ::unlink(pending_temp);
    // Then end as the signal would have ended the process.
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

void WatchTemp(const std::string& temp) {
    if (temp.size() >= sizeof pending_temp || temp_pending) return;
    std::memcpy(pending_temp, temp.c_str(), temp.size() + 1);
    temp_pending = 1;
    struct sigaction action {};
    action.sa_handler = RemovePendingTemp;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &old_int);
    ::sigaction(SIGTERM, &action, &old_term);
}

void UnwatchTemp() {
    if (!temp_pending) return;
    ::sigaction(SIGINT, &old_int, nullptr);
    ::sigaction(SIGTERM, &old_term, nullptr);
    temp_pending = 0;
}

}  // namespace

ReplacementFile::ReplacementFile(const std::string& path) : path_(path), temp_(path + ".XXXXXX") {
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error_ = "Cannot write " + path_ + ": " + std::strerror(errno);
        return;
    }
    WatchTemp(temp_);
}

ReplacementFile::~ReplacementFile() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(temp_.c_str());
    UnwatchTemp();
}

bool ReplacementFile::Write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0 || failed_) return false;
    if (!WriteAll(fd_, bytes)) {
        failed_ = true;
        error_ = "Cannot write " + path_ + ": " + std::strerror(errno);
    }
    return !failed_;
}

bool ReplacementFile::Commit() {
    if (fd_ < 0 || failed_) return false;
    (void)::fchmod(fd_, 0644);
    const int fd = fd_;
    fd_ = -1;
    bool ok = ::close(fd) == 0 && ::rename(temp_.c_str(), path_.c_str()) == 0;
    if (!ok) {
        error_ = "Cannot write " + path_ + ": " + std::strerror(errno);
        ::unlink(temp_.c_str());
    }
    UnwatchTemp();
    return ok;
}

std::string ProgramDirectory() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}

}  // namespace vt::platform
