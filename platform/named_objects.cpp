#include "platform/named_objects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace vt::platform {
namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

}  // namespace

bool UsePrivateDirectory(const std::string& dir, std::string& error) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "Cannot create the lock directory " + dir + ": " + ErrnoText(errno);
        return false;
    }
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = "Cannot open the lock directory " + dir + ": " + ErrnoText(errno);
        return false;
    }
    struct stat st {};
    const bool stat_ok = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (!stat_ok || !S_ISDIR(st.st_mode)) {
        error = "The lock directory " + dir + " is not a directory";
        return false;
    }
    // Anyone else able to create files here could take or plant our locks.
    if (st.st_uid != ::geteuid() || (st.st_mode & 022) != 0) {
        error = "The lock directory " + dir +
                " belongs to another user or is writable by others; refusing to use it";
        return false;
    }
    return true;
}

std::optional<std::string> PrivateLockDirectory(std::string& error) {
    std::string dir;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (::geteuid() == 0) {
        dir = "/run/vtutility";
    } else if (runtime != nullptr && runtime[0] == '/') {
        dir = std::string(runtime) + "/vtutility";
    } else {
        dir = "/tmp/vtutility-" + std::to_string(::geteuid());
    }
    if (!UsePrivateDirectory(dir, error)) return std::nullopt;
    return dir;
}

int OpenLockFile(const std::string& path) {
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return -errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -EINVAL;
    }
    return fd;
}

int LockWithin(int fd, std::uint32_t wait_ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return errno;
        if (Clock::now() >= deadline) return EWOULDBLOCK;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

namespace {

// The lock file's path, or empty with `error` set.
std::string LockPath(const std::string& name, const std::string& dir, const char* suffix,
                     std::string& error) {
    std::string base = dir;
    if (base.empty()) {
        const auto found = PrivateLockDirectory(error);
        if (!found) return {};
        base = *found;
    } else if (!UsePrivateDirectory(base, error)) {
        return {};
    }
    return base + "/" + name + suffix;
}

}  // namespace

InstanceGuard::InstanceGuard(const std::string& name, const std::string& dir) {
    const std::string path = LockPath(name, dir, ".instance", error_);
    if (path.empty()) return;
    fd_ = OpenLockFile(path);
    if (fd_ < 0) {
        error_ = "Cannot open " + path + ": " + ErrnoText(-fd_);
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        state_ = State::Created;
        // The holder's process id in the file lets a second copy name the running one.
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd_, 0) == 0) (void)!::pwrite(fd_, pid.data(), pid.size(), 0);
        return;
    }
    state_ = errno == EWOULDBLOCK ? State::AlreadyExists : State::Failed;
    if (state_ == State::Failed) error_ = "Cannot lock " + path + ": " + ErrnoText(errno);
    if (state_ == State::AlreadyExists) {
        char text[24] = {};
        const ssize_t got = ::pread(fd_, text, sizeof text - 1, 0);
        char* end = nullptr;
        const long pid = got > 0 ? std::strtol(text, &end, 10) : 0;
        if (pid > 0 && end != text && (*end == '\n' || *end == '\0')) holder_pid_ = pid;
    }
    ::close(fd_);
    fd_ = -1;
}

InstanceGuard::~InstanceGuard() {
    if (fd_ >= 0) ::close(fd_);
}

NamedMutex::NamedMutex(const std::string& name, const std::string& dir) {
    path_ = LockPath(name, dir, ".lock", error_);
    if (path_.empty()) return;
    fd_ = OpenLockFile(path_);
    if (fd_ < 0) error_ = "Cannot open the lock " + path_ + ": " + ErrnoText(-fd_);
}

NamedMutex::~NamedMutex() {
    if (fd_ >= 0) ::close(fd_);
}

bool NamedMutex::Lock(std::uint32_t wait_ms) {
    if (fd_ < 0) return false;
    const int result = LockWithin(fd_, wait_ms);
    if (result == 0) return true;
    error_ = result == EWOULDBLOCK ? "Waited " + std::to_string(wait_ms) +
                                         " ms for the lock " + path_ + ", held by another process"
                                   : "Cannot lock " + path_ + ": " + ErrnoText(result);
    return false;
}

void NamedMutex::Unlock() {
    if (fd_ >= 0) ::flock(fd_, LOCK_UN);
}

}  // namespace vt::platform
