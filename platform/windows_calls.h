#pragma once
// The Windows calls the Windows backend makes, behind an interface of portable types, so that the
// backend's logic (request layouts, flags, error mapping, enumeration rules) builds and is tested
// on every system. windows_calls_win32.cpp is the real one; tests put a double in its place.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vt::platform {

// A kernel object handle as an integer; kNoOsHandle is the system's invalid handle value.
using OsHandle = std::uintptr_t;
inline constexpr OsHandle kNoOsHandle = ~OsHandle{0};

// Access and sharing for CreateFile, translated to the system's bits by the real calls.
inline constexpr std::uint32_t kAccessRead = 1;   // GENERIC_READ
inline constexpr std::uint32_t kAccessWrite = 2;  // GENERIC_WRITE
inline constexpr std::uint32_t kShareRead = 1;    // FILE_SHARE_READ
inline constexpr std::uint32_t kShareWrite = 2;   // FILE_SHARE_WRITE

// The system's error codes the backend tells apart.
namespace win_error {
inline constexpr std::uint32_t kInvalidFunction = 1;
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kPathNotFound = 3;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kNotEnoughMemory = 8;
inline constexpr std::uint32_t kNotReady = 21;  // a removable-media drive without its medium
inline constexpr std::uint32_t kSharingViolation = 32;
inline constexpr std::uint32_t kLockViolation = 33;
inline constexpr std::uint32_t kNotSupported = 50;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kSemTimeout = 121;
inline constexpr std::uint32_t kInsufficientBuffer = 122;
inline constexpr std::uint32_t kInvalidName = 123;
inline constexpr std::uint32_t kMoreData = 234;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kNoMoreItems = 259;
inline constexpr std::uint32_t kNoSuchDevice = 433;
inline constexpr std::uint32_t kIoDevice = 1117;
inline constexpr std::uint32_t kDeviceNotConnected = 1167;
inline constexpr std::uint32_t kNoMediaInDrive = 1112;
}  // namespace win_error

// Device control codes the backend sends.
namespace ioctl {
inline constexpr std::uint32_t kScsiPassThroughDirect = 0x4D014;
inline constexpr std::uint32_t kAtaPassThrough = 0x4D02C;
inline constexpr std::uint32_t kStorageGetDeviceNumber = 0x2D1080;
inline constexpr std::uint32_t kSmartRcvDriveData = 0x7C088;
inline constexpr std::uint32_t kVolumeGetDiskExtents = 0x560000;
inline constexpr std::uint32_t kLockVolume = 0x90018;    // FSCTL_LOCK_VOLUME
inline constexpr std::uint32_t kUnlockVolume = 0x9001C;  // FSCTL_UNLOCK_VOLUME
}  // namespace ioctl

struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};

enum class WaitResult : std::uint8_t { Acquired, Abandoned, TimedOut, Failed };

class WindowsCalls {
  public:
    virtual ~WindowsCalls() = default;

    // CreateFileW(path, access, share, OPEN_EXISTING). kNoOsHandle and the error on failure.
    virtual OsHandle CreateFile(const std::wstring& path, std::uint32_t access, std::uint32_t share,
                                std::uint32_t& error) = 0;
    // DeviceIoControl. `in` and `out` may be the same bytes; an empty span passes no buffer.
    // `returned` receives the bytes the driver wrote, `error` the last error on failure.
    virtual bool DeviceIoControl(OsHandle handle, std::uint32_t code,
                                 std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                                 std::uint32_t& returned, std::uint32_t& error) = 0;
    virtual void CloseHandle(OsHandle handle) = 0;

    // The set of present devices with the disk interface; kNoOsHandle when the system gives none.
    virtual OsHandle OpenDiskInterfaces() = 0;
    // The device path of interface `index` of the set; nullopt when enumerating it or reading its
    // detail fails (past the last one included).
    virtual std::optional<std::wstring> DiskInterfacePath(OsHandle set, std::uint32_t index) = 0;
    virtual void CloseDiskInterfaces(OsHandle set) = 0;

    // The configuration manager: the root of the device tree and a new enumeration below a node.
    // Both return the manager's result code, 0 for success.
    virtual std::uint32_t LocateRootDevNode(std::uint32_t& node) = 0;
    virtual std::uint32_t ReenumerateDevNode(std::uint32_t node) = 0;

    // Bit 0 for A: and so on.
    virtual std::uint32_t LogicalDrives() = 0;
    // Empty when the system does not say.
    virtual std::wstring WindowsDirectory() = 0;
    // The version with the extended record, or with the basic one; nullopt when the call fails.
    virtual std::optional<OsVersion> Version(bool extended) = 0;

    // FindFirstVolumeW / FindNextVolumeW / FindVolumeClose. Volume names end in a backslash.
    virtual OsHandle FindFirstVolume(std::wstring& name) = 0;
    virtual bool FindNextVolume(OsHandle search, std::wstring& name) = 0;
    virtual void FindVolumeClose(OsHandle search) = 0;
    // GetVolumePathNamesForVolumeNameW: drive letters ("E:\") and mount folders of a volume.
    virtual std::optional<std::vector<std::wstring>> VolumePathNames(
        const std::wstring& volume) = 0;

    // A named mutex, created when it does not exist yet; kNoOsHandle and the error on failure.
    virtual OsHandle CreateMutex(const std::wstring& name, std::uint32_t& error) = 0;
    virtual WaitResult WaitFor(OsHandle handle, std::uint32_t wait_ms) = 0;
    virtual void ReleaseMutex(OsHandle handle) = 0;

    virtual std::uint64_t TickCount64() = 0;
    virtual void Sleep(std::uint32_t ms) = 0;
};

// The system's own calls (Windows builds only).
std::unique_ptr<WindowsCalls> MakeWin32Calls();

// The errno value the layers above expect for a Windows error code.
int ErrnoOf(std::uint32_t windows_error);

}  // namespace vt::platform
