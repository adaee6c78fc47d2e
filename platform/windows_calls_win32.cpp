// The Windows calls themselves. The only file of the program that includes the system's headers.

#include <windows.h>
// After windows.h, which they need.
#include <cfgmgr32.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstddef>
#include <vector>

#include "platform/windows_backend.h"
#include "platform/windows_calls.h"

namespace vt::platform {
namespace {

// The backend writes these records byte by byte; the system's own definitions must agree.
static_assert(sizeof(void*) == 8, "the request layouts are those of a 64-bit program");
static_assert(sizeof(ATA_PASS_THROUGH_EX) == ata_pt::kHeaderSize);
static_assert(offsetof(ATA_PASS_THROUGH_EX, Length) == ata_pt::kLength);
static_assert(offsetof(ATA_PASS_THROUGH_EX, AtaFlags) == ata_pt::kAtaFlags);
static_assert(offsetof(ATA_PASS_THROUGH_EX, PathId) == ata_pt::kPathId);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataTransferLength) == ata_pt::kTransferLength);
static_assert(offsetof(ATA_PASS_THROUGH_EX, TimeOutValue) == ata_pt::kTimeOutValue);
static_assert(offsetof(ATA_PASS_THROUGH_EX, ReservedAsUlong) == ata_pt::kReservedUlong);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataBufferOffset) == ata_pt::kDataBufferOffset);
static_assert(offsetof(ATA_PASS_THROUGH_EX, PreviousTaskFile) == ata_pt::kPreviousTaskFile);
static_assert(offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) == ata_pt::kCurrentTaskFile);
static_assert(ATA_FLAGS_DRDY_REQUIRED == ata_pt::kDrdyRequired);
static_assert(ATA_FLAGS_DATA_IN == ata_pt::kDataIn);
static_assert(ATA_FLAGS_DATA_OUT == ata_pt::kDataOut);
static_assert(ATA_FLAGS_48BIT_COMMAND == ata_pt::k48BitCommand);
static_assert(ATA_FLAGS_USE_DMA == ata_pt::kUseDma);

static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == scsi_pt::kHeaderSize);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Length) == scsi_pt::kLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, ScsiStatus) == scsi_pt::kScsiStatus);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, PathId) == scsi_pt::kPathId);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TargetId) == scsi_pt::kTargetId);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Lun) == scsi_pt::kLun);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, CdbLength) == scsi_pt::kCdbLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoLength) == scsi_pt::kSenseInfoLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataIn) == scsi_pt::kDataIn);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == scsi_pt::kTransferLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == scsi_pt::kTimeOutValue);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == scsi_pt::kDataBuffer);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == scsi_pt::kSenseInfoOffset);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == scsi_pt::kCdb);
static_assert(SCSI_IOCTL_DATA_IN == scsi_pt::kDirectionIn);
static_assert(SCSI_IOCTL_DATA_OUT == scsi_pt::kDirectionOut);
static_assert(SCSI_IOCTL_DATA_UNSPECIFIED == scsi_pt::kDirectionNone);

static_assert(sizeof(SENDCMDINPARAMS) - 1 == smart::kInSize);
static_assert(offsetof(SENDCMDINPARAMS, cBufferSize) == smart::kInBufferSize);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs) == smart::kInRegisters);
static_assert(offsetof(SENDCMDINPARAMS, bDriveNumber) == smart::kInDriveNumber);
static_assert(offsetof(SENDCMDOUTPARAMS, bBuffer) == smart::kOutHeader);
static_assert(offsetof(SENDCMDOUTPARAMS, DriverStatus) + offsetof(DRIVERSTATUS, bDriverError) ==
              smart::kOutDriverError);
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == kDeviceNumberSize);
static_assert(FILE_DEVICE_DISK == 7);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == 8 && sizeof(DISK_EXTENT) == 24);

static_assert(IOCTL_ATA_PASS_THROUGH == ioctl::kAtaPassThrough);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == ioctl::kScsiPassThroughDirect);
static_assert(IOCTL_STORAGE_GET_DEVICE_NUMBER == ioctl::kStorageGetDeviceNumber);
static_assert(SMART_RCV_DRIVE_DATA == ioctl::kSmartRcvDriveData);
static_assert(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == ioctl::kVolumeGetDiskExtents);
static_assert(FSCTL_LOCK_VOLUME == ioctl::kLockVolume);
static_assert(FSCTL_UNLOCK_VOLUME == ioctl::kUnlockVolume);

static_assert(ERROR_FILE_NOT_FOUND == win_error::kFileNotFound);
static_assert(ERROR_ACCESS_DENIED == win_error::kAccessDenied);
static_assert(ERROR_SHARING_VIOLATION == win_error::kSharingViolation);
static_assert(ERROR_NOT_READY == win_error::kNotReady);
static_assert(ERROR_SEM_TIMEOUT == win_error::kSemTimeout);
static_assert(ERROR_MORE_DATA == win_error::kMoreData);
static_assert(ERROR_NO_MORE_ITEMS == win_error::kNoMoreItems);
static_assert(ERROR_IO_DEVICE == win_error::kIoDevice);
static_assert(ERROR_DEVICE_NOT_CONNECTED == win_error::kDeviceNotConnected);
static_assert(ERROR_NO_MEDIA_IN_DRIVE == win_error::kNoMediaInDrive);

// {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}: the disk device interface class.
constexpr GUID kDiskInterfaceClass = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

HANDLE AsHandle(OsHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

OsHandle AsOsHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE || handle == nullptr ? kNoOsHandle
                                                               : reinterpret_cast<OsHandle>(handle);
}

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);

class Win32Calls final : public WindowsCalls {
  public:
    OsHandle CreateFile(const std::wstring& path, std::uint32_t access, std::uint32_t share,
                        std::uint32_t& error) override {
        const DWORD rights = ((access & kAccessRead) ? GENERIC_READ : 0) |
                             ((access & kAccessWrite) ? GENERIC_WRITE : 0);
        const DWORD sharing = ((share & kShareRead) ? FILE_SHARE_READ : 0) |
                              ((share & kShareWrite) ? FILE_SHARE_WRITE : 0);
        const HANDLE handle =
            ::CreateFileW(path.c_str(), rights, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            error = ::GetLastError();
            return kNoOsHandle;
        }
        return reinterpret_cast<OsHandle>(handle);
    }

    bool DeviceIoControl(OsHandle handle, std::uint32_t code, std::span<const std::uint8_t> in,
                         std::span<std::uint8_t> out, std::uint32_t& returned,
                         std::uint32_t& error) override {
        DWORD count = 0;
        // The system takes a mutable input pointer and does not write through it.
        void* input = in.empty() ? nullptr : const_cast<std::uint8_t*>(in.data());
        void* output = out.empty() ? nullptr : out.data();
        const BOOL ok =
            ::DeviceIoControl(AsHandle(handle), code, input, static_cast<DWORD>(in.size()), output,
                              static_cast<DWORD>(out.size()), &count, nullptr);
        error = ok ? 0 : ::GetLastError();
        returned = count;
        return ok != FALSE;
    }

    void CloseHandle(OsHandle handle) override {
        if (handle != kNoOsHandle) ::CloseHandle(AsHandle(handle));
    }

    OsHandle OpenDiskInterfaces() override {
        const HDEVINFO set = ::SetupDiGetClassDevsW(&kDiskInterfaceClass, nullptr, nullptr,
                                                    DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        return AsOsHandle(set);
    }

    std::optional<std::wstring> DiskInterfacePath(OsHandle set, std::uint32_t index) override {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!::SetupDiEnumDeviceInterfaces(AsHandle(set), nullptr, &kDiskInterfaceClass, index,
                                           &data)) {
            return std::nullopt;
        }
        DWORD needed = 0;
        ::SetupDiGetDeviceInterfaceDetailW(AsHandle(set), &data, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return std::nullopt;
        // The record ends in the path; kept aligned as the record wants.
        std::vector<std::uint64_t> storage((needed + 7) / 8);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!::SetupDiGetDeviceInterfaceDetailW(AsHandle(set), &data, detail, needed, nullptr,
                                                nullptr)) {
            return std::nullopt;
        }
        return std::wstring(detail->DevicePath);
    }

    void CloseDiskInterfaces(OsHandle set) override {
        if (set != kNoOsHandle) ::SetupDiDestroyDeviceInfoList(AsHandle(set));
    }

    std::uint32_t LocateRootDevNode(std::uint32_t& node) override {
        DEVINST root = 0;
        const CONFIGRET result = ::CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
        node = root;
        return result;
    }

    std::uint32_t ReenumerateDevNode(std::uint32_t node) override {
        return ::CM_Reenumerate_DevNode(node, 0);
    }

    std::uint32_t LogicalDrives() override { return ::GetLogicalDrives(); }

    std::wstring WindowsDirectory() override {
        wchar_t buffer[MAX_PATH + 1] = {};
        const UINT length = ::GetWindowsDirectoryW(buffer, MAX_PATH + 1);
        if (length == 0 || length > MAX_PATH) return {};
        return std::wstring(buffer, length);
    }

    std::optional<OsVersion> Version(bool extended) override {
        // RtlGetVersion reports the real version, whatever the program's manifest declares.
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        if (ntdll == nullptr) return std::nullopt;
        const auto get = reinterpret_cast<RtlGetVersionFunction>(
            reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
        if (get == nullptr) return std::nullopt;
        OSVERSIONINFOEXW info{};
        info.dwOSVersionInfoSize = extended ? sizeof(OSVERSIONINFOEXW) : sizeof(OSVERSIONINFOW);
        if (get(reinterpret_cast<OSVERSIONINFOW*>(&info)) != 0) return std::nullopt;
        return OsVersion{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
    }

    OsHandle FindFirstVolume(std::wstring& name) override {
        wchar_t buffer[MAX_PATH + 1] = {};
        const HANDLE search = ::FindFirstVolumeW(buffer, MAX_PATH + 1);
        if (search == INVALID_HANDLE_VALUE) return kNoOsHandle;
        name = buffer;
        return reinterpret_cast<OsHandle>(search);
    }

    bool FindNextVolume(OsHandle search, std::wstring& name) override {
        wchar_t buffer[MAX_PATH + 1] = {};
        if (!::FindNextVolumeW(AsHandle(search), buffer, MAX_PATH + 1)) return false;
        name = buffer;
        return true;
    }

    void FindVolumeClose(OsHandle search) override {
        if (search != kNoOsHandle) ::FindVolumeClose(AsHandle(search));
    }

    std::optional<std::vector<std::wstring>> VolumePathNames(const std::wstring& volume) override {
        std::vector<wchar_t> buffer(MAX_PATH + 1);
        DWORD needed = 0;
        while (!::GetVolumePathNamesForVolumeNameW(volume.c_str(), buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), &needed)) {
            if (::GetLastError() != ERROR_MORE_DATA || needed <= buffer.size()) return std::nullopt;
            buffer.assign(needed, 0);
        }
        // A list of strings, each ended by a zero, the list by another.
        std::vector<std::wstring> paths;
        for (std::size_t at = 0; at < buffer.size() && buffer[at] != 0;) {
            std::wstring path(buffer.data() + at);
            at += path.size() + 1;
            paths.push_back(std::move(path));
        }
        return paths;
    }

    OsHandle CreateMutex(const std::wstring& name, std::uint32_t& error) override {
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
        // Made by another user's process: it can still be waited for.
        if (mutex == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED) {
            mutex = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
        }
        if (mutex == nullptr) {
            error = ::GetLastError();
            return kNoOsHandle;
        }
        return reinterpret_cast<OsHandle>(mutex);
    }

    WaitResult WaitFor(OsHandle handle, std::uint32_t wait_ms) override {
        switch (::WaitForSingleObject(AsHandle(handle), wait_ms)) {
            case WAIT_OBJECT_0:
                return WaitResult::Acquired;
            case WAIT_ABANDONED:
                return WaitResult::Abandoned;
            case WAIT_TIMEOUT:
                return WaitResult::TimedOut;
            default:
                return WaitResult::Failed;
        }
    }

    void ReleaseMutex(OsHandle handle) override { ::ReleaseMutex(AsHandle(handle)); }

    std::uint64_t TickCount64() override { return ::GetTickCount64(); }
    void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
};

}  // namespace

std::unique_ptr<WindowsCalls> MakeWin32Calls() {
    return std::make_unique<Win32Calls>();
}

}  // namespace vt::platform
