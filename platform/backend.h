#pragma once
// The operating-system boundary for devices and time. Everything above this layer reaches a drive
// through one request at a time (device_request.h); which backend answers (the system's: the Linux
// kernel or the Windows storage drivers; or the virtual drive bench) is chosen once at start.

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/device_request.h"

namespace vt::platform {

// One disk as the enumeration reports it. The path carries its bus word ("ide", "scsi", "usb",
// "sbp2"; none for "other") so that the scan can classify it by substring and still open it after
// lower-casing: on Linux in front of the node ("ide:/dev/sda"), on Windows as the device interface
// path's enumerator ("\\?\ide#disk...", which is its own node).
struct DiskEntry {
    std::string path;
    std::string bus;   // "ide", "scsi", "usb", "sbp2" or "other"
    std::string node;  // the device node the path opens
};

struct DeviceNumber {
    unsigned major = 0;
    unsigned minor = 0;
    bool operator==(const DeviceNumber&) const = default;
};

// One thing that keeps a disk, or one of its partitions, busy.
struct DiskUser {
    enum class Kind : std::uint8_t { Mount = 1, Swap = 2, Holder = 3 };
    Kind kind = Kind::Mount;
    std::string device;  // the node of the disk or of the partition ("/dev/sda1")
    std::string what;    // Mount: the mount point; Holder: its name ("dm-0", "md127"); Swap: empty
    bool operator==(const DiskUser&) const = default;
};

// A whole disk as the system sees it: its partitions and everything that uses it or them.
struct DiskUse {
    std::vector<std::string> partitions;  // their nodes
    std::vector<DiskUser> users;
    // The running system's own volume lies on it (where the system has no "/" mount to show it).
    bool system_volume = false;
    bool InUse() const { return !users.empty() || system_volume; }
    // The running system lives on this disk: something is mounted on "/" from it, or it holds the
    // system's volume.
    bool HoldsRoot() const;
};

// The version the operating system reports of itself.
struct SystemVersion {
    unsigned major = 0;
    unsigned minor = 0;
    bool operator==(const SystemVersion&) const = default;
};

class Backend {
  public:
    virtual ~Backend() = default;

    // Opens a device path for one command. Returns a handle (>= 0) or a negative errno value.
    virtual int Open(const std::string& path) = 0;
    // Sends one request on an open handle. Returns 0 when the request went through (its outcome
    // then says how the command ended) or the errno value of the failure.
    virtual int ScsiPassThrough(int handle, ScsiRequest& request) = 0;
    // An ATA command to a drive on an ATA port; a backend whose transport speaks SCSI carries it
    // in ATA PASS-THROUGH (sat_passthrough.h).
    virtual int AtaPassThrough(int handle, AtaRequest& request) = 0;
    virtual void Close(int handle) = 0;

    // Per-drive exclusion between processes: an exclusive lock on the whole disk a path names (on
    // Linux a flock on its device node, the convention udev and the disk tools honour), waited
    // for at most wait_ms. Returns a lock id (>= 0), -EWOULDBLOCK when another holder kept it that
    // long, or another negative errno value (the drive is then used unlocked; its open reports
    // what is wrong with it).
    virtual int LockDevice(const std::string& path, std::uint32_t wait_ms) = 0;
    virtual void UnlockDevice(int lock) = 0;

    // The whole disk a path names: its partitions and what uses them (mounted file systems,
    // active swap areas, holders such as device-mapper and MD). Empty when nothing is known.
    virtual DiskUse DescribeUse(const std::string& path) = 0;
    // Takes the whole disk a path names for writing user data, until ReleaseHold: meanwhile the
    // system lets nothing mount it, swap on it or build on it (on Linux an exclusive open of its
    // node, which the kernel refuses while any of these holds the disk or a partition). Returns a
    // hold id (>= 0), -EBUSY when the disk is in use, or another negative errno value.
    virtual int HoldForWriting(const std::string& path) = 0;
    virtual void ReleaseHold(int hold) = 0;

    virtual std::vector<DiskEntry> ListDisks() = 0;
    // Asks every bus to look for new devices. Failures are described line by line in `report`.
    virtual bool Rescan(std::string& report) = 0;
    virtual std::optional<DeviceNumber> DeviceNumberOf(const std::string& path) = 0;

    // The letter of a mounted volume on the disk a path names, the system drive's excepted;
    // nullopt where there is none or the system names volumes without letters.
    virtual std::optional<char> DriveLetterOf(const std::string& path) {
        (void)path;
        return std::nullopt;
    }
    // The operating system's version, where the disk classification depends on it.
    virtual std::optional<SystemVersion> VersionOfSystem() { return std::nullopt; }
    // IDENTIFY DEVICE through the disk driver's own interface rather than a pass-through: 0, or
    // an errno value; ENOTSUP where the backend has no such interface (the caller then sends the
    // command as a pass-through).
    virtual int IdentifyThroughDriver(const std::string& path, int index,
                                      std::span<std::uint8_t, 512> data) {
        (void)path;
        (void)index;
        (void)data;
        return ENOTSUP;
    }

    virtual std::uint64_t NowMs() = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;
};

// The backend in use. Until one is installed, the system's (system_backend.h).
Backend& Current();
// Installs a backend for the rest of the process (or until the next Install); returns the old one.
std::unique_ptr<Backend> Install(std::unique_ptr<Backend> backend);

// Splits "bus:node" into the node; a path without a known bus prefix is a node already (a device
// interface path such as "\\?\ide#disk&ven_..." is its own node).
std::string NodeOfPath(const std::string& path);
// The bus word a path carries: its "bus:" prefix, or a device interface path's enumerator
// ("ide", "scsi", "usbstor" as "usb", "sbp2"); "other" for a path with none.
std::string BusOfPath(const std::string& path);
// The path for a node on a bus, as the enumeration reports it.
std::string PathFor(const std::string& bus, const std::string& node);

// How long a process waits for a drive another process works on.
inline constexpr std::uint32_t kDriveLockWaitMs = 3000;

// The drive stayed locked by another process for kDriveLockWaitMs.
class DeviceBusyError : public std::runtime_error {
  public:
    explicit DeviceBusyError(const std::string& device)
        : std::runtime_error(device + " is in use by another process"), device_(device) {}
    const std::string& device() const { return device_; }

  private:
    std::string device_;
};

// Holds the drive a path names for the object's life. Nested holds of one drive in a process share
// the one lock, so an operation can hold its drive around commands that hold it again. Throws
// DeviceBusyError when another process keeps it past kDriveLockWaitMs.
class DriveLock {
  public:
    explicit DriveLock(const std::string& path);
    ~DriveLock();
    DriveLock(const DriveLock&) = delete;
    DriveLock& operator=(const DriveLock&) = delete;

  private:
    std::string node_;
};

// Holds the disk a path names for writing (Backend::HoldForWriting) for the object's life.
class WriteHold {
  public:
    explicit WriteHold(const std::string& path);
    ~WriteHold();
    WriteHold(const WriteHold&) = delete;
    WriteHold& operator=(const WriteHold&) = delete;

    bool Held() const { return hold_ >= 0; }
    // Why the disk was not held: EBUSY when it is in use.
    int Error() const { return hold_ < 0 ? -hold_ : 0; }

  private:
    Backend* backend_;
    int hold_;
};

// A device opened for the length of one command, its drive locked; closed on every path out.
class DeviceHandle {
  public:
    explicit DeviceHandle(const std::string& path) : lock_(path), handle_(Current().Open(path)) {}
    ~DeviceHandle() {
        if (handle_ >= 0) Current().Close(handle_);
    }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;

    bool IsOpen() const { return handle_ >= 0; }
    int Error() const { return handle_ < 0 ? -handle_ : 0; }
    int ScsiPassThrough(ScsiRequest& request) {
        return Current().ScsiPassThrough(handle_, request);
    }
    int AtaPassThrough(AtaRequest& request) { return Current().AtaPassThrough(handle_, request); }

  private:
    DriveLock lock_;
    int handle_;
};

// Millisecond clock and sleep of the backend in use (virtual on the bench).
inline std::uint64_t NowMs() {
    return Current().NowMs();
}
inline void SleepMs(std::uint32_t ms) {
    Current().SleepMs(ms);
}

}  // namespace vt::platform
