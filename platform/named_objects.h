#pragma once
// System-wide named objects: the single-instance guard and the lock that serialises appends to the
// debug message file between processes.

#include <optional>
#include <string>

namespace vt::platform {

// Held for the life of the object; an abstract-namespace socket, so a crashed holder frees it.
class InstanceGuard {
public:
    enum class State { Created, AlreadyExists, Failed };

    explicit InstanceGuard(const std::string& name);
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    State state() const { return state_; }
    // For AlreadyExists: the process that holds the guard, when the system tells.
    std::optional<long> HolderPid() const { return holder_pid_; }

private:
    int fd_ = -1;
    State state_ = State::Failed;
    std::optional<long> holder_pid_;
};

// A named lock between processes: flock on a file in the system's lock directory.
class NamedMutex {
public:
    explicit NamedMutex(const std::string& name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    bool IsValid() const { return fd_ >= 0; }
    bool Lock();  // waits without limit
    void Unlock();

private:
    int fd_ = -1;
};

}  // namespace vt::platform
