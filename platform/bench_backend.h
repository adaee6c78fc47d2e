#pragma once
// The backend of the virtual drive bench: the disks are emulated (sim/), and time is virtual, so
// the protocol's waits and a command's time-out cost no real time.

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/backend.h"

namespace vt::platform {

class VirtualClock {
  public:
    std::uint64_t Now() const { return now_ms_; }
    void Advance(std::uint64_t ms) { now_ms_ += ms; }

  private:
    // Starts near the 32-bit wrap so that elapsed-time arithmetic is exercised on every bench run.
    std::uint64_t now_ms_ = 0xFFFF0000u;
};

// What the bench plugs in under the platform layer: a set of disks that answer SCSI requests.
class VirtualBus {
  public:
    virtual ~VirtualBus() = default;
    virtual std::vector<DiskEntry> Disks() = 0;
    // The disk that a path opens: its index, or a negative errno value (a disk that is gone).
    virtual int OpenDisk(const std::string& path) = 0;
    // Executes one request as the kernel and the drive together would. Returns 0 or an errno value
    // for a request the kernel refuses. Time the command takes is added to the clock.
    virtual int Execute(int disk, ScsiRequest& request, VirtualClock& clock) = 0;
    virtual bool Rescan(std::string& report) {
        (void)report;
        return true;
    }
    // What the system would say uses a disk (its index).
    virtual DiskUse Use(int disk) {
        (void)disk;
        return {};
    }
};

class BenchBackend final : public Backend {
  public:
    explicit BenchBackend(std::unique_ptr<VirtualBus> bus) : bus_(std::move(bus)) {}
    ~BenchBackend() override;

    int Open(const std::string& path) override;
    int ScsiPassThrough(int handle, ScsiRequest& request) override;
    // Carried as ATA PASS-THROUGH(16), as the kernel's translation takes it: the bench's drives
    // answer through their SCSI front end alone, which the kernel disks of vtbench-serve share.
    int AtaPassThrough(int handle, AtaRequest& request) override;
    void Close(int handle) override;
    // The drives of a bench file are locked across processes, like real ones: a flock on the file
    // NAMESPACE-INDEX.lock, so every backend given the same namespace (every process that loads
    // the same bench file) contends for its drive INDEX; the file is removed when the drive is
    // free. Without a namespace (the demo bench, private to its process) the locks are the
    // backend's own.
    int LockDevice(const std::string& path, std::uint32_t wait_ms) override;
    void UnlockDevice(int lock) override;
    void SetLockNamespace(std::string prefix) { lock_namespace_ = std::move(prefix); }
    DiskUse DescribeUse(const std::string& path) override;
    // Refused while the bench says the disk is in use, or this backend holds it already.
    int HoldForWriting(const std::string& path) override;
    void ReleaseHold(int hold) override { holds_.erase(hold); }
    std::vector<DiskEntry> ListDisks() override { return bus_->Disks(); }
    bool Rescan(std::string& report) override { return bus_->Rescan(report); }
    std::optional<DeviceNumber> DeviceNumberOf(const std::string& path) override;
    std::uint64_t NowMs() override { return clock_.Now(); }
    void SleepMs(std::uint32_t ms) override { clock_.Advance(ms); }

    VirtualClock& Clock() { return clock_; }
    VirtualBus& Bus() { return *bus_; }
    // Handles still open: a test of the transports checks that every command closed its device.
    std::size_t OpenHandles() const { return handles_.size(); }

  private:
    std::unique_ptr<VirtualBus> bus_;
    VirtualClock clock_;
    std::map<int, int> handles_;  // handle -> disk index
    int next_handle_ = 3;
    std::string lock_namespace_;
    struct HeldLock {
        int disk = -1;
        int fd = -1;  // with a namespace: the lock file, open and locked
        std::string file;
    };
    std::map<int, HeldLock> locks_;  // by lock id
    int next_lock_ = 0;
    std::map<int, int> holds_;  // hold id -> disk index

    std::optional<std::size_t> DiskIndexOf(const std::string& path);
};

}  // namespace vt::platform
