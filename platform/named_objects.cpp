#include "platform/named_objects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace vt::platform {
namespace {

std::string ErrnoText(int error) {
    return std::strerror(error);
}

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

namespace {

// An absolute path from the environment, or empty.
std::string AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

// A directory in the user's own cache directory, for when the shared /tmp name is taken: the same
// name for every process of the user on this machine, so they still meet at one guard and one
// set of drive locks. The host's name keeps machines that share the home directory apart.
std::string CacheLockDirectory(std::string& error) {
    std::string cache = AbsoluteFromEnvironment("XDG_CACHE_HOME");
    if (cache.empty()) {
        const std::string home = AbsoluteFromEnvironment("HOME");
        if (home.empty()) {
            error = "no home directory (HOME) for a lock directory of the user's own";
            return {};
        }
        cache = home + "/.cache";
    }
    if (::mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "Cannot create " + cache + ": " + ErrnoText(errno);
        return {};
    }
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
        std::strcpy(host, "localhost");
    for (char* c = host; *c != '\0'; ++c) {
        if (*c == '/') *c = '_';
    }
    return cache + "/vtutility-locks-" + host;
}

}  // namespace

std::optional<std::string> PrivateLockDirectory(std::string& error) {
    if (::geteuid() == 0) {
        if (!UsePrivateDirectory("/run/vtutility", error)) return std::nullopt;
        return "/run/vtutility";
    }
    if (const std::string runtime = AbsoluteFromEnvironment("XDG_RUNTIME_DIR"); !runtime.empty()) {
        if (!UsePrivateDirectory(runtime + "/vtutility", error)) return std::nullopt;
        return runtime + "/vtutility";
    }
    // Anyone can make this name first; then the user falls back to a directory of their own.
    const std::string shared = "/tmp/vtutility-" + std::to_string(::geteuid());
    if (UsePrivateDirectory(shared, error)) return shared;
    std::string why;
    const std::string own = CacheLockDirectory(why);
    if (!own.empty() && UsePrivateDirectory(own, why)) return own;
    error += "; and no lock directory of the user's own: " + why;
    return std::nullopt;
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

namespace {

bool NamesFile(const std::string& path, int fd) {
    struct stat held {
    }, named{};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

int LockRemovableFile(const std::string& path, std::uint32_t wait_ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        const int fd = OpenLockFile(path);
        if (fd < 0) return fd;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(deadline - Clock::now(), Clock::duration::zero()));
        const int result = LockWithin(fd, static_cast<std::uint32_t>(left.count()));
        if (result != 0) {
            ::close(fd);
            return -result;
        }
        if (NamesFile(path, fd)) return fd;
        // The holder before us removed the file after we had opened it: the lock on it guards
        // nothing any more. Take the file that stands at the name now.
        ::close(fd);
        if (Clock::now() >= deadline) return -EWOULDBLOCK;
    }
}

void ReleaseRemovableFile(const std::string& path, int fd) {
    // Removed while still held, so no other process can have locked the file at the name.
    if (NamesFile(path, fd)) ::unlink(path.c_str());
    ::close(fd);
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
    const int fd = OpenLockFile(path);
    if (fd < 0) {
        error_ = "Cannot open " + path + ": " + ErrnoText(-fd);
        return;
    }
    handle_ = fd;
    if (::flock(handle_, LOCK_EX | LOCK_NB) == 0) {
        state_ = State::Created;
        // The holder's process id in the file lets a second copy name the running one.
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(handle_, 0) == 0) (void)!::pwrite(handle_, pid.data(), pid.size(), 0);
        return;
    }
    state_ = errno == EWOULDBLOCK ? State::AlreadyExists : State::Failed;
    if (state_ == State::Failed) error_ = "Cannot lock " + path + ": " + ErrnoText(errno);
    if (state_ == State::AlreadyExists) {
        char text[24] = {};
        const ssize_t got = ::pread(handle_, text, sizeof text - 1, 0);
        char* end = nullptr;
        const long pid = got > 0 ? std::strtol(text, &end, 10) : 0;
        if (pid > 0 && end != text && (*end == '\n' || *end == '\0')) holder_pid_ = pid;
    }
    ::close(handle_);
    handle_ = -1;
}

InstanceGuard::~InstanceGuard() {
    if (handle_ >= 0) ::close(handle_);
}

NamedMutex::NamedMutex(const std::string& name, const std::string& dir) {
    path_ = LockPath(name, dir, ".lock", error_);
    if (path_.empty()) return;
    const int fd = OpenLockFile(path_);
    if (fd < 0)
        error_ = "Cannot open the lock " + path_ + ": " + ErrnoText(-fd);
    else
        handle_ = fd;
}

NamedMutex::~NamedMutex() {
    if (handle_ >= 0) ::close(handle_);
}

bool NamedMutex::Lock(std::uint32_t wait_ms) {
    if (handle_ < 0) return false;
    const int result = LockWithin(handle_, wait_ms);
    if (result == 0) return true;
    error_ = result == EWOULDBLOCK ? "Waited " + std::to_string(wait_ms) + " ms for the lock " +
                                         path_ + ", held by another process"
                                   : "Cannot lock " + path_ + ": " + ErrnoText(result);
    return false;
}

void NamedMutex::Unlock() {
    if (handle_ >= 0) ::flock(handle_, LOCK_UN);
}

}  // namespace vt::platform
