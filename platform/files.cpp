#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/temporary_name.h"

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
        if (n == 0) {
            errno = EIO;  // no progress: never a loop without end
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

// A FIFO or device planted at the name must neither block the open nor receive the bytes.
bool AppendToFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    const int fd = ::open(
        path.c_str(), O_APPEND | O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && WriteAll(fd, bytes);
    return (::close(fd) == 0) && ok;
}

InputFile::InputFile(const std::string& path, Links links) : path_(path) {
    const int follow = links == Links::Follow ? 0 : O_NOFOLLOW;
    handle_ = ::open(path.c_str(), O_RDONLY | follow | O_NONBLOCK | O_CLOEXEC);
    if (handle_ < 0) {
        error_ = errno == ELOOP ? path + " is a symbolic link; refusing to follow it"
                                : "Cannot open " + path + ": " + std::strerror(errno);
        return;
    }
    struct stat st {};
    if (::fstat(handle_, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = path + " is not a regular file";
        ::close(handle_);
        handle_ = -1;
        return;
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile() {
    if (handle_ >= 0) ::close(handle_);
}

std::optional<std::size_t> InputFile::Read(std::span<std::uint8_t> into) {
    if (handle_ < 0) return std::nullopt;
    for (;;) {
        const ssize_t n = ::read(handle_, into.data(), into.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        error_ = "Cannot read " + path_ + ": " + std::strerror(errno);
        return std::nullopt;
    }
}

namespace {

// The temporary file a signal must remove, in storage a signal handler may read.
char pending_temp[4096];
volatile std::sig_atomic_t temp_pending = 0;
struct sigaction old_int {};
struct sigaction old_term {};

void RemovePendingTemp(int signal_number) {
    if (temp_pending) ::unlink(pending_temp);
    // Then end as the signal would have ended the process.
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

bool WatchTemp(const std::string& temp) {
    if (temp.size() >= sizeof pending_temp || temp_pending) return false;
    std::memcpy(pending_temp, temp.c_str(), temp.size() + 1);
    temp_pending = 1;
    struct sigaction action {};
    action.sa_handler = RemovePendingTemp;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &old_int);
    ::sigaction(SIGTERM, &action, &old_term);
    return true;
}

void UnwatchTemp() {
    if (!temp_pending) return;
    ::sigaction(SIGINT, &old_int, nullptr);
    ::sigaction(SIGTERM, &old_term, nullptr);
    temp_pending = 0;
}

// What stands at a name that is no regular file, for the refusal.
const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISDIR(mode)) return "a directory";
    return "a socket";
}

}  // namespace

ReplacementFile::ReplacementFile(const std::string& path, OutputTarget target) : path_(path) {
    const bool streams = target == OutputTarget::FileOrStream;
    if (streams && path == "-") {
        std::fflush(stdout);  // what the program printed before comes first
        handle_ = STDOUT_FILENO;
        owns_handle_ = false;
        stream_ = true;
        return;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            CreateTemporary();
        else
            Fail(std::strerror(errno));
        return;
    }
    device_ = st.st_dev;
    inode_ = st.st_ino;
    if (S_ISREG(st.st_mode)) {
        // Permissions another user chose (a world-writable file planted for root) are not copied.
        keep_mode_ = st.st_uid == ::geteuid();
        mode_ = st.st_mode & 0777;
        CreateTemporary();
    } else if (S_ISLNK(st.st_mode)) {
        Fail(std::string("It is a symbolic link, which is never written through or replaced") +
             (streams ? " (- means standard output)" : ""));
    } else if (streams && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        OpenStream();
    } else {
        Fail(std::string("It is ") + KindOf(st.st_mode) + ", not a regular file");
    }
}

void ReplacementFile::Fail(const std::string& reason) {
    failed_ = true;
    error_ = "Cannot write " + (owns_handle_ ? path_ : "standard output") + ": " + reason;
}

// As any writer of a FIFO, the open waits for a reader (Ctrl-C ends the wait).
void ReplacementFile::OpenStream() {
    handle_ = ::open(path_.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (handle_ < 0) {
        Fail(std::strerror(errno));
        return;
    }
    struct stat st {};
    // Whatever was put at the name since it was looked at is not written into.
    if (::fstat(handle_, &st) != 0 || st.st_dev != device_ || st.st_ino != inode_) {
        ::close(handle_);
        handle_ = -1;
        Fail("It was replaced while it was being opened");
        return;
    }
    stream_ = true;
}

void ReplacementFile::CreateTemporary() {
    // Owner-only until Commit when the replaced file's mode is kept (it may be stricter than the
    // umask); otherwise the umask decides, as for any new file.
    const mode_t mode = keep_mode_ ? 0600 : 0666;
    // Ctrl-C between the create and the watch would leave the temporary behind: held off till then.
    sigset_t stops, before;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stops, &before);
    int error = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_ = path_ + TemporarySuffix();
        handle_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (handle_ >= 0) {
            watched_ = WatchTemp(temp_);
            break;
        }
        error = errno;
        if (error != EEXIST) break;
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (handle_ < 0) Fail(std::strerror(error));
}

ReplacementFile::~ReplacementFile() {
    if (handle_ < 0) return;
    if (owns_handle_) ::close(handle_);
    if (stream_) return;
    ::unlink(temp_.c_str());
    if (watched_) UnwatchTemp();
}

bool ReplacementFile::Write(std::span<const std::uint8_t> bytes) {
    if (handle_ < 0 || failed_) return false;
    if (!WriteAll(handle_, bytes)) Fail(std::strerror(errno));
    return !failed_;
}

bool ReplacementFile::Commit() {
    if (handle_ < 0 || failed_) return false;
    const int fd = std::exchange(handle_, -1);
    if (stream_) {
        if (owns_handle_ && ::close(fd) != 0) Fail(std::strerror(errno));
        return !failed_;
    }
    // On disk before the rename: a crash must leave the old file or the new one under the name,
    // never an empty one.
    bool ok = (!keep_mode_ || ::fchmod(fd, mode_) == 0) && ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temp_.c_str(), path_.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(temp_.c_str());
        Fail(std::strerror(saved));
    }
    if (watched_) UnwatchTemp();
    return ok;
}

std::string ProgramPath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::string ProgramDirectory() {
    const std::string exe = ProgramPath();
    return exe.empty() ? std::string(".") : std::filesystem::path(exe).parent_path().string();
}

std::string MakePrivateTemporaryDirectory(const std::string& prefix) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / (prefix + "XXXXXX")).string();
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

bool IsTerminal(StandardStream stream) {
    return ::isatty(stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

StandardOutputAside::StandardOutputAside() {
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    if (saved_ >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        ::close(saved_);
        saved_ = -1;
    }
}

StandardOutputAside::~StandardOutputAside() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
}

}  // namespace vt::platform
