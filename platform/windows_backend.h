#pragma once
// The backend on a real Windows system: the disk interfaces the device installer lists, the
// storage drivers' ATA and SCSI pass-through, the configuration manager, named mutexes and the
// tick counter. Every system call goes through WindowsCalls, so the logic here is portable.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/windows_calls.h"

namespace vt::platform {

// ATA_PASS_THROUGH_EX as a 64-bit program lays it out, and the request block around it.
namespace ata_pt {
inline constexpr std::size_t kLength = 0;    // USHORT
inline constexpr std::size_t kAtaFlags = 2;  // USHORT
inline constexpr std::size_t kPathId = 4;    // UCHAR; TargetId 5, Lun 6, reserved 7
inline constexpr std::size_t kTransferLength = 8;
inline constexpr std::size_t kTimeOutValue = 12;  // seconds
inline constexpr std::size_t kReservedUlong = 16;
inline constexpr std::size_t kDataBufferOffset = 24;  // ULONG_PTR
inline constexpr std::size_t kPreviousTaskFile = 32;
inline constexpr std::size_t kCurrentTaskFile = 40;
inline constexpr std::size_t kHeaderSize = 48;
inline constexpr std::size_t kMaxData = 65536;
inline constexpr std::size_t kBlockSize = kHeaderSize + kMaxData;

inline constexpr std::uint16_t kDrdyRequired = 0x01;
inline constexpr std::uint16_t kDataIn = 0x02;
inline constexpr std::uint16_t kDataOut = 0x04;
inline constexpr std::uint16_t k48BitCommand = 0x08;
inline constexpr std::uint16_t kUseDma = 0x10;
}  // namespace ata_pt

// SCSI_PASS_THROUGH_DIRECT as a 64-bit program lays it out; a sense area follows the header.
namespace scsi_pt {
inline constexpr std::size_t kLength = 0;  // USHORT
inline constexpr std::size_t kScsiStatus = 2;
inline constexpr std::size_t kPathId = 3;
inline constexpr std::size_t kTargetId = 4;
inline constexpr std::size_t kLun = 5;
inline constexpr std::size_t kCdbLength = 6;
inline constexpr std::size_t kSenseInfoLength = 7;
inline constexpr std::size_t kDataIn = 8;
inline constexpr std::size_t kTransferLength = 12;
inline constexpr std::size_t kTimeOutValue = 16;
inline constexpr std::size_t kDataBuffer = 24;  // PVOID
inline constexpr std::size_t kSenseInfoOffset = 32;
inline constexpr std::size_t kCdb = 36;
inline constexpr std::size_t kHeaderSize = 56;
inline constexpr std::size_t kSenseSize = 32;
inline constexpr std::size_t kBlockSize = kHeaderSize + kSenseSize;

inline constexpr std::uint8_t kDirectionOut = 0;
inline constexpr std::uint8_t kDirectionIn = 1;
inline constexpr std::uint8_t kDirectionNone = 2;
inline constexpr std::uint8_t kTargetIdSent = 1;
}  // namespace scsi_pt

// SENDCMDINPARAMS and SENDCMDOUTPARAMS of the SMART interface, packed as the driver takes them.
namespace smart {
inline constexpr std::size_t kInSize = 32;
inline constexpr std::size_t kInBufferSize = 0;  // ULONG cBufferSize
inline constexpr std::size_t kInRegisters = 4;   // IDEREGS, 8 bytes
inline constexpr std::size_t kInDriveNumber = 12;
inline constexpr std::size_t kOutHeader = 16;
inline constexpr std::size_t kOutDriverError = 4;  // DRIVERSTATUS.bDriverError
inline constexpr std::size_t kOutSize = kOutHeader + 512;
}  // namespace smart

// STORAGE_DEVICE_NUMBER: device type, device number, partition number.
inline constexpr std::size_t kDeviceNumberSize = 12;

// The system-wide name of the mutex that guards one disk among processes.
std::wstring DiskMutexName(const std::optional<DeviceNumber>& number, const std::string& path);

class WindowsBackend final : public Backend {
  public:
    explicit WindowsBackend(std::unique_ptr<WindowsCalls> calls);
    ~WindowsBackend() override;

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
    std::optional<char> DriveLetterOf(const std::string& path) override;
    std::optional<SystemVersion> VersionOfSystem() override;
    int IdentifyThroughDriver(const std::string& path, int index,
                              std::span<std::uint8_t, 512> data) override;
    std::uint64_t NowMs() override;
    void SleepMs(std::uint32_t ms) override;

    WindowsCalls& Calls() { return *calls_; }

  private:
    struct OpenDevice {
        std::wstring path;
        OsHandle handle = kNoOsHandle;
        bool exclusive = false;
    };
    std::unique_ptr<WindowsCalls> calls_;
    std::map<int, OpenDevice> handles_;
    int next_handle_ = 3;
    std::map<int, OsHandle> locks_;  // lock id -> mutex, owned
    int next_lock_ = 0;
    std::map<int, std::vector<OsHandle>> holds_;  // hold id -> locked volumes
    int next_hold_ = 0;

    // The handle as the ATA transport wants it: exclusive, reopened so when it was shared.
    int ExclusiveHandle(OpenDevice& device, OsHandle& handle);
    std::optional<DeviceNumber> DeviceNumberOfWide(const std::wstring& path);
};

}  // namespace vt::platform
