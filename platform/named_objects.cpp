#include "platform/named_objects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace vt::platform {

InstanceGuard::InstanceGuard(const std::string& name) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string abstract = "vtutility-" + name;
    const std::size_t length = std::min(abstract.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, abstract.data(), length);  // sun_path[0] = 0: abstract
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), size) == 0) {
        state_ = State::Created;
        // Listening lets a second copy learn this process's id from the kernel.
        (void)::listen(fd_, 4);
        return;
    }
    state_ = errno == EADDRINUSE ? State::AlreadyExists : State::Failed;
    ::close(fd_);
    fd_ = -1;
    if (state_ != State::AlreadyExists) return;
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0) return;
    ucred peer{};
    socklen_t peer_size = sizeof peer;
    if (::connect(probe, reinterpret_cast<const sockaddr*>(&address), size) == 0 &&
        ::getsockopt(probe, SOL_SOCKET, SO_PEERCRED, &peer, &peer_size) == 0 && peer.pid > 0) {
        holder_pid_ = peer.pid;
    }
    ::close(probe);
}

InstanceGuard::~InstanceGuard() {
    if (fd_ >= 0) ::close(fd_);
}

NamedMutex::NamedMutex(const std::string& name) {
    for (const char* dir : {"/run/lock", "/tmp"}) {
        const std::string path = std::string(dir) + "/vtutility-" + name + ".lock";
        // O_NOFOLLOW: the tool runs as root, a planted link must not redirect the create.
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) return;
    }
}

NamedMutex::~NamedMutex() {
    if (fd_ >= 0) ::close(fd_);
}

bool NamedMutex::Lock() {
    if (fd_ < 0) return false;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

void NamedMutex::Unlock() {
    if (fd_ >= 0) ::flock(fd_, LOCK_UN);
}

}  // namespace vt::platform
