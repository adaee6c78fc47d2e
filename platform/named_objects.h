#pragma once
// System-wide named objects: the single-instance guard and the lock that serialises appends to the
// debug message file between processes. Both are flock locks on files in a private directory that
// only the user running the tool can create files in, so no other user can take them first.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/native_handle.h"

namespace vt::platform {

// The directory for the tool's locks: /run/vtutility for root, $XDG_RUNTIME_DIR/vtutility (or
// /tmp/vtutility-UID without it) for anyone else. Created with mode 0700; refused unless it is a
// real directory, owned by the effective user and closed to everyone else. When another user has
// taken /tmp/vtutility-UID, the user's own $XDG_CACHE_HOME (or ~/.cache)/vtutility-locks-HOST
// instead. nullopt with `error` saying why.
std::optional<std::string> PrivateLockDirectory(std::string& error);
// The same checks on a given directory (created when missing).
bool UsePrivateDirectory(const std::string& dir, std::string& error);

// Held for the life of the object. A flock on a file: a crashed holder frees it, and it holds
// across network namespaces.
class InstanceGuard {
  public:
    enum class State { Created, AlreadyExists, Failed };

    // In the private lock directory, or in `dir` when given.
    explicit InstanceGuard(const std::string& name, const std::string& dir = {});
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    State state() const { return state_; }
    // For AlreadyExists: the process that holds the guard, when the system tells.
    std::optional<long> HolderPid() const { return holder_pid_; }
    const std::string& error() const { return error_; }

  private:
    NativeHandle handle_ = kNoHandle;
    State state_ = State::Failed;
    std::optional<long> holder_pid_;
    std::string error_;
};

// A named lock between processes: flock on a file in the private lock directory.
class NamedMutex {
  public:
    explicit NamedMutex(const std::string& name, const std::string& dir = {});
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    bool IsValid() const { return handle_ != kNoHandle; }
    // Waits at most wait_ms. False when the lock file could not be made or another holder kept
    // the lock that long; error() then says which lock it waited for.
    bool Lock(std::uint32_t wait_ms = 2000);
    void Unlock();
    const std::string& error() const { return error_; }

  private:
    NativeHandle handle_ = kNoHandle;
    std::string path_;
    std::string error_;
};

// Opens (creating it, mode 0600) a lock file in a private directory; the fd or -errno.
int OpenLockFile(const std::string& path);
// A lock file that stands only while someone holds it: opened (created) and locked as LockWithin
// does, then checked to be the file the name still names, since the holder before may have removed
// it meanwhile; then locked anew. The fd, or -errno (-EWOULDBLOCK: held past wait_ms).
int LockRemovableFile(const std::string& path, std::uint32_t wait_ms);
// Removes the file while still holding it, then closes it.
void ReleaseRemovableFile(const std::string& path, int fd);
// flock(LOCK_EX) polled until wait_ms have passed on the monotonic clock. 0, EWOULDBLOCK when the
// holder kept it, or another errno value.
int LockWithin(int fd, std::uint32_t wait_ms);

}  // namespace vt::platform
