#pragma once
// The Windows calls answered from a bench: the bench's disks as device interfaces, its drives
// behind the storage drivers' pass-through, plus volumes, drive letters and named mutexes a test
// describes. Every request header is checked byte for byte against the system's record layouts
// (written out here independently of the backend's own tables); what does not match is kept in
// Violations().

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/bench_backend.h"
#include "platform/windows_calls.h"

namespace vt::test {

struct VolumeDouble {
    std::wstring name;                      // "\\?\Volume{1}\"
    std::vector<std::uint32_t> disks;       // the disk numbers of its extents
    std::vector<std::wstring> mount_paths;  // "E:\", "C:\mnt\data\"
    bool lockable = true;                   // false: a file is open on it
    bool locked = false;
    std::uint32_t extents_error = 0;  // its disks cannot be read: this error
};

class WindowsCallsDouble final : public platform::WindowsCalls {
  public:
    // Interface paths of the bench's disks: "\\?\ide#disk&...#{53f56307-...}" by the disk's bus.
    explicit WindowsCallsDouble(std::unique_ptr<platform::BenchBackend> bench);
    ~WindowsCallsDouble() override;

    platform::BenchBackend& Bench() { return *bench_; }
    std::wstring InterfacePath(std::size_t disk) const { return interfaces_.at(disk); }
    std::string InterfacePathText(std::size_t disk) const;

    // What a test sets up.
    bool no_device_set = false;
    std::optional<std::uint32_t> detail_fails_at;  // this interface's detail cannot be read
    std::vector<VolumeDouble> volumes;
    std::wstring windows_directory = L"C:\\Windows";
    std::optional<platform::OsVersion> extended_version = platform::OsVersion{10, 0, 19045};
    std::optional<platform::OsVersion> basic_version = platform::OsVersion{10, 0, 19045};
    std::uint32_t locate_result = 0;
    std::uint32_t reenumerate_result = 0;
    std::set<std::wstring> denied_paths;       // CreateFile answers access denied
    std::set<std::wstring> foreign_mutexes;    // held by another process for ever
    std::optional<std::uint32_t> ata_failure;  // the next ATA pass-through fails with this code

    // What the backend did.
    std::vector<std::string> Violations() const { return violations_; }
    std::size_t OpenHandles() const { return objects_.size(); }
    std::uint32_t ShareOfLastDiskOpen() const { return last_share_; }
    std::vector<std::uint8_t> LastAtaHeader() const { return last_ata_; }
    std::vector<std::uint8_t> LastScsiHeader() const { return last_scsi_; }
    std::size_t AtaRequests() const { return ata_requests_; }
    bool Rescanned() const { return rescanned_; }

    platform::OsHandle CreateFile(const std::wstring& path, std::uint32_t access,
                                  std::uint32_t share, std::uint32_t& error) override;
    bool DeviceIoControl(platform::OsHandle handle, std::uint32_t code,
                         std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                         std::uint32_t& returned, std::uint32_t& error) override;
    void CloseHandle(platform::OsHandle handle) override;
    platform::OsHandle OpenDiskInterfaces() override;
    std::optional<std::wstring> DiskInterfacePath(platform::OsHandle set,
                                                  std::uint32_t index) override;
    void CloseDiskInterfaces(platform::OsHandle set) override;
    std::uint32_t LocateRootDevNode(std::uint32_t& node) override;
    std::uint32_t ReenumerateDevNode(std::uint32_t node) override;
    std::uint32_t LogicalDrives() override;
    std::wstring WindowsDirectory() override { return windows_directory; }
    std::optional<platform::OsVersion> Version(bool extended) override {
        return extended ? extended_version : basic_version;
    }
    platform::OsHandle FindFirstVolume(std::wstring& name) override;
    bool FindNextVolume(platform::OsHandle search, std::wstring& name) override;
    void FindVolumeClose(platform::OsHandle search) override;
    std::optional<std::vector<std::wstring>> VolumePathNames(const std::wstring& volume) override;
    platform::OsHandle CreateMutex(const std::wstring& name, std::uint32_t& error) override;
    platform::WaitResult WaitFor(platform::OsHandle handle, std::uint32_t wait_ms) override;
    void ReleaseMutex(platform::OsHandle handle) override;
    std::uint64_t TickCount64() override { return bench_->NowMs(); }
    void Sleep(std::uint32_t ms) override { bench_->SleepMs(ms); }

  private:
    enum class Kind { Disk, Letter, Volume, Mutex, Set, Search };
    struct Object {
        Kind kind = Kind::Disk;
        int index = -1;  // disk, volume, or the search's position
        int bench_handle = -1;
        std::uint32_t share = 0;
        std::wstring name;
    };
    std::unique_ptr<platform::BenchBackend> bench_;
    std::vector<std::wstring> interfaces_;
    std::map<platform::OsHandle, Object> objects_;
    platform::OsHandle next_ = 0x100;
    std::map<std::wstring, int> mutex_owners_;  // name -> holds
    std::vector<std::string> violations_;
    std::vector<std::uint8_t> last_ata_, last_scsi_;
    std::size_t ata_requests_ = 0;
    std::uint32_t last_share_ = 0;
    bool rescanned_ = false;

    platform::OsHandle Add(Object object);
    void Violation(const std::string& what) { violations_.push_back(what); }
    bool Ata(Object& disk, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
             std::uint32_t& returned, std::uint32_t& error);
    bool Scsi(Object& disk, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
              std::uint32_t& returned, std::uint32_t& error);
    bool Smart(Object& disk, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
               std::uint32_t& returned, std::uint32_t& error);
};

}  // namespace vt::test
