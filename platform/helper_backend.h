#pragma once
// The backend of a program without raw drive access: every device operation is forwarded to the
// helper, a separate program running as root that the program starts (through pkexec, or as a
// test names it). Clock and sleep stay local unless the helper's backend keeps its own time.

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/helper_protocol.h"

namespace vt::platform {

class HelperBackend final : public Backend {
  public:
    // Takes a connected socket (or a read and a write end) to a helper, and the helper's process,
    // if this program started it, to wait for at the end.
    HelperBackend(int read_fd, int write_fd, pid_t child);
    ~HelperBackend() override;
    HelperBackend(const HelperBackend&) = delete;
    HelperBackend& operator=(const HelperBackend&) = delete;

    // Asks the helper for its version and clock; false, with the reason, when it does not answer.
    bool Greet(std::string& error);
    // The helper's process when this program started it, else -1.
    pid_t Child() const { return child_; }

    int Open(const std::string& path) override;
    int ScsiPassThrough(int handle, ScsiRequest& request) override;
    int AtaPassThrough(int handle, AtaRequest& request) override;
    void Close(int handle) override;
    int LockDevice(const std::string& path, std::uint32_t wait_ms) override;
    void UnlockDevice(int lock) override;
    DiskUse DescribeUse(const std::string& path) override;
    int HoldForWriting(const std::string& path) override;
    void ReleaseHold(int hold) override;
    std::vector<DiskEntry> ListDisks() override;
    bool Rescan(std::string& report) override;
    std::optional<DeviceNumber> DeviceNumberOf(const std::string& path) override;
    std::uint64_t NowMs() override;
    void SleepMs(std::uint32_t ms) override;

  private:
    // One round trip; nullopt when the helper is gone or answered nonsense (it is then dropped).
    std::optional<helper::Answer> Call(const helper::Request& request);
    // One pass-through round trip: the helper's errno-like answer, or 0 with `ended` filled.
    int PassThrough(const helper::Request& request, helper::CallOutcome& ended);
    // A call on a path whose answer is an id (a handle, lock or hold) or a negative errno value.
    int CallForId(const helper::Request& request);

    int read_fd_, write_fd_;
    pid_t child_;
    bool virtual_clock_ = false;
    std::unique_ptr<Backend> local_;  // the clock, when it is ours
};

// The command that starts the helper: VTUTIL_HELPER's words when set, else pkexec with the
// helper beside this program.
std::vector<std::string> HelperCommand();

// Starts the helper with its standard input and output on one end of a socket pair, and greets
// it. nullptr, with the reason, when it did not start or did not answer (refused, say).
std::unique_ptr<HelperBackend> StartHelper(const std::vector<std::string>& command,
                                           std::string& error);

// The helper of HelperCommand(), started, where the system has one; nullptr with the reason
// otherwise. Windows has none: its programs ask for administrator rights when they start.
std::unique_ptr<Backend> StartSystemHelper(std::string& error);

}  // namespace vt::platform
