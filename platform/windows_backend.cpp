#include "platform/windows_backend.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwctype>

#include "platform/byte_order.h"
#include "platform/error_codes.h"
#include "platform/wide_text.h"
#include "platform/windows_disk_use.h"

namespace vt::platform {
namespace {

void Put16(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Put64(std::uint8_t* p, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The storage drivers count time-outs in whole seconds; a request without one gets the tool's
// usual ten.
std::uint32_t TimeoutSeconds(std::uint32_t timeout_ms) {
    if (timeout_ms == 0) return 10;
    return std::max<std::uint32_t>(1, timeout_ms / 1000 + (timeout_ms % 1000 != 0));
}

constexpr std::uint32_t kDeviceTypeDisk = 7;  // FILE_DEVICE_DISK

// A request the driver failed after it reached the device: timed out, or ended by the adapter.
std::optional<Transport> TransportFailure(std::uint32_t windows_error) {
    if (windows_error == win_error::kSemTimeout) return Transport::TimedOut;
    if (windows_error == win_error::kIoDevice) return Transport::Failed;
    return std::nullopt;
}

void AppendCode(std::string& report, const char* what, std::uint32_t code) {
    char line[96];
    std::snprintf(line, sizeof line, "%s failed: %x\n", what, static_cast<unsigned>(code));
    report += line;
}

// A name that is no UTF-8 names no device: the empty name opens nothing.
std::wstring DeviceName(const std::string& text) {
    return WidePath(text).value_or(std::wstring{});
}

}  // namespace

int ErrnoOf(std::uint32_t windows_error) {
    using namespace win_error;
    switch (windows_error) {
        case kFileNotFound:
        case kPathNotFound:
        case kInvalidName:
            return ENOENT;
        case kAccessDenied:
            return EACCES;
        case kSharingViolation:
        case kLockViolation:
            return EBUSY;
        case kNotReady:
        case kNoMediaInDrive:
            return kNoMedium;
        case kNoSuchDevice:
        case kDeviceNotConnected:
            return ENODEV;
        case kInvalidFunction:
        case kNotSupported:
            return ENOTSUP;
        case kInvalidParameter:
            return EINVAL;
        case kInvalidHandle:
            return EBADF;
        case kNotEnoughMemory:
            return ENOMEM;
        case kSemTimeout:
        case kWaitTimeout:
            return ETIMEDOUT;
        default:
            return EIO;
    }
}

std::wstring DiskMutexName(const std::optional<DeviceNumber>& number, const std::string& path) {
    if (number) {
        return L"Global\\vtutility-disk-" + std::to_wstring(number->major) + L"-" +
               std::to_wstring(number->minor);
    }
    // A backslash would name a namespace; case does not tell paths apart on this system.
    std::string name = NodeOfPath(path);
    for (char& c : name) {
        c = c == '\\' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return L"Global\\vtutility-path-" + DeviceName(name);
}

WindowsBackend::WindowsBackend(std::unique_ptr<WindowsCalls> calls) : calls_(std::move(calls)) {}

WindowsBackend::~WindowsBackend() {
    for (const auto& [id, hold] : holds_) UnlockVolumes(*calls_, hold);
    for (const auto& [id, mutex] : locks_) {
        calls_->ReleaseMutex(mutex);
        calls_->CloseHandle(mutex);
    }
    for (const auto& [id, device] : handles_) {
        if (device.handle != kNoOsHandle) calls_->CloseHandle(device.handle);
    }
}

int WindowsBackend::Open(const std::string& path) {
    const std::string node = NodeOfPath(path);
    if (node.empty()) return -ENOENT;
    OpenDevice device{DeviceName(node), kNoOsHandle, false};
    std::uint32_t error = 0;
    // Shared, as SCSI requests want it; the ATA transport reopens it for itself alone.
    device.handle = calls_->CreateFile(device.path, kAccessRead | kAccessWrite,
                                       kShareRead | kShareWrite, error);
    if (device.handle == kNoOsHandle) return -ErrnoOf(error);
    const int id = next_handle_++;
    handles_[id] = std::move(device);
    return id;
}

void WindowsBackend::Close(int handle) {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) return;
    if (it->second.handle != kNoOsHandle) calls_->CloseHandle(it->second.handle);
    handles_.erase(it);
}

int WindowsBackend::ExclusiveHandle(OpenDevice& device, OsHandle& handle) {
    if (!device.exclusive) {
        if (device.handle != kNoOsHandle) calls_->CloseHandle(device.handle);
        std::uint32_t error = 0;
        device.handle = calls_->CreateFile(device.path, kAccessRead | kAccessWrite, 0, error);
        if (device.handle == kNoOsHandle) return ErrnoOf(error);
        device.exclusive = true;
    }
    handle = device.handle;
    return 0;
}

int WindowsBackend::AtaPassThrough(int handle, AtaRequest& request) {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) return EBADF;
    const bool moves = request.direction != Direction::None && !request.data.empty();
    const std::size_t length = moves ? request.data.size() : 0;
    if (length > ata_pt::kMaxData) return EINVAL;
    OsHandle device = kNoOsHandle;
    if (const int error = ExclusiveHandle(it->second, device); error != 0) return error;

    std::vector<std::uint8_t> block(ata_pt::kBlockSize, 0);
    std::uint8_t* header = block.data();
    std::uint16_t flags = 0;
    if (moves) {
        flags = ata_pt::kDrdyRequired |
                (request.direction == Direction::In ? ata_pt::kDataIn : ata_pt::kDataOut);
        if (request.dma) flags |= ata_pt::kUseDma;
    }
    if (request.extended) flags |= ata_pt::k48BitCommand;
    Put16(header + ata_pt::kLength, ata_pt::kHeaderSize);
    Put16(header + ata_pt::kAtaFlags, flags);
    Put32(header + ata_pt::kTransferLength, static_cast<std::uint32_t>(length));
    Put32(header + ata_pt::kTimeOutValue, TimeoutSeconds(request.timeout_ms));
    Put64(header + ata_pt::kDataBufferOffset, ata_pt::kHeaderSize);
    if (request.extended) {
        std::copy(request.previous.begin(), request.previous.end(),
                  header + ata_pt::kPreviousTaskFile);
    }
    std::copy(request.task_file.begin(), request.task_file.end(),
              header + ata_pt::kCurrentTaskFile);
    if (moves && request.direction == Direction::Out) {
        std::copy(request.data.begin(), request.data.end(), header + ata_pt::kHeaderSize);
    }

    const std::span<std::uint8_t> used(block.data(), ata_pt::kHeaderSize + length);
    std::uint32_t returned = 0, error = 0;
    if (!calls_->DeviceIoControl(device, ioctl::kAtaPassThrough, used, used, returned, error)) {
        const auto failure = TransportFailure(error);
        if (!failure) return ErrnoOf(error);
        request.outcome = RequestOutcome{};
        request.outcome.transport = *failure;
        request.registers = request.task_file;
        request.registers[kTaskCommand] = kAtaStatusErr;
        request.registers_returned = false;
        request.refused = false;
        return 0;
    }
    if (moves && request.direction == Direction::In) {
        std::copy_n(header + ata_pt::kHeaderSize, length, request.data.begin());
    }
    std::copy_n(header + ata_pt::kCurrentTaskFile, request.registers.size(),
                request.registers.begin());
    request.registers_returned = true;
    request.refused = false;
    request.outcome = RequestOutcome{};
    return 0;
}

int WindowsBackend::ScsiPassThrough(int handle, ScsiRequest& request) {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) return EBADF;
    if (request.cdb_length == 0 || request.cdb_length > kMaxCdbLength) return EINVAL;
    const bool moves = request.direction != Direction::None && !request.data.empty();
    if (moves && request.data.size() > UINT_MAX) return EINVAL;
    const auto length = static_cast<std::uint32_t>(moves ? request.data.size() : 0);

    // The header holds a pointer: kept aligned for the driver.
    alignas(8) std::array<std::uint8_t, scsi_pt::kBlockSize> block{};
    std::uint8_t* header = block.data();
    Put16(header + scsi_pt::kLength, scsi_pt::kHeaderSize);
    header[scsi_pt::kTargetId] = scsi_pt::kTargetIdSent;
    header[scsi_pt::kCdbLength] = request.cdb_length;
    header[scsi_pt::kSenseInfoLength] = scsi_pt::kSenseSize;
    header[scsi_pt::kDataIn] = !moves                               ? scsi_pt::kDirectionNone
                               : request.direction == Direction::In ? scsi_pt::kDirectionIn
                                                                    : scsi_pt::kDirectionOut;
    Put32(header + scsi_pt::kTransferLength, length);
    Put32(header + scsi_pt::kTimeOutValue, TimeoutSeconds(request.timeout_ms));
    Put64(header + scsi_pt::kDataBuffer,
          moves ? reinterpret_cast<std::uintptr_t>(request.data.data()) : 0);
    Put32(header + scsi_pt::kSenseInfoOffset, scsi_pt::kHeaderSize);
    std::copy_n(request.cdb.begin(), request.cdb_length, header + scsi_pt::kCdb);

    std::uint32_t returned = 0, error = 0;
    auto& outcome = request.outcome;
    outcome = RequestOutcome{};
    if (!calls_->DeviceIoControl(it->second.handle, ioctl::kScsiPassThroughDirect, block, block,
                                 returned, error)) {
        const auto failure = TransportFailure(error);
        if (!failure) return ErrnoOf(error);
        outcome.transport = *failure;
        outcome.residue = length;
        return 0;
    }
    outcome.scsi_status = header[scsi_pt::kScsiStatus];
    const std::size_t sense = std::min<std::size_t>(
        {header[scsi_pt::kSenseInfoLength], scsi_pt::kSenseSize, request.sense.size()});
    std::copy_n(header + scsi_pt::kHeaderSize, sense, request.sense.begin());
    outcome.sense_length = sense;
    const std::uint32_t moved = std::min(Le32(block, scsi_pt::kTransferLength), length);
    outcome.residue = length - moved;
    return 0;
}

int WindowsBackend::LockDevice(const std::string& path, std::uint32_t wait_ms) {
    std::uint32_t error = 0;
    const OsHandle mutex = calls_->CreateMutex(DiskMutexName(DeviceNumberOf(path), path), error);
    if (mutex == kNoOsHandle) return -ErrnoOf(error);
    switch (calls_->WaitFor(mutex, wait_ms)) {
        case WaitResult::Acquired:
        case WaitResult::Abandoned:  // its holder ended without letting go: the drive is free
            break;
        case WaitResult::TimedOut:
            calls_->CloseHandle(mutex);
            return -EWOULDBLOCK;
        case WaitResult::Failed:
            calls_->CloseHandle(mutex);
            return -EIO;
    }
    const int id = next_lock_++;
    locks_[id] = mutex;
    return id;
}

void WindowsBackend::UnlockDevice(int lock) {
    const auto it = locks_.find(lock);
    if (it == locks_.end()) return;
    calls_->ReleaseMutex(it->second);
    calls_->CloseHandle(it->second);
    locks_.erase(it);
}

DiskUse WindowsBackend::DescribeUse(const std::string& path) {
    const auto number = DeviceNumberOf(path);
    if (!number) return {};
    return DiskUseOf(VolumesOnDisk(*calls_, number->minor).volumes);
}

int WindowsBackend::HoldForWriting(const std::string& path) {
    const auto number = DeviceNumberOf(path);
    if (!number) return -ENODEV;
    std::vector<OsHandle> locked;
    const int result = LockDiskVolumes(*calls_, VolumesOnDisk(*calls_, number->minor), locked);
    if (result < 0) return result;
    const int id = next_hold_++;
    holds_[id] = std::move(locked);
    return id;
}

void WindowsBackend::ReleaseHold(int hold) {
    const auto it = holds_.find(hold);
    if (it == holds_.end()) return;
    UnlockVolumes(*calls_, it->second);
    holds_.erase(it);
}

std::vector<DiskEntry> WindowsBackend::ListDisks() {
    std::vector<DiskEntry> disks;
    const OsHandle set = calls_->OpenDiskInterfaces();
    if (set == kNoOsHandle) return disks;
    // The first interface that cannot be read ends the list.
    for (std::uint32_t index = 0;; ++index) {
        const auto path = calls_->DiskInterfacePath(set, index);
        if (!path) break;
        const std::string text = NarrowText(*path);
        disks.push_back({text, BusOfPath(text), text});
    }
    calls_->CloseDiskInterfaces(set);
    return disks;
}

bool WindowsBackend::Rescan(std::string& report) {
    std::uint32_t root = 0;
    if (const auto code = calls_->LocateRootDevNode(root); code != 0) {
        AppendCode(report, "CM_Locate_DevNode", code);
        return false;
    }
    if (const auto code = calls_->ReenumerateDevNode(root); code != 0) {
        AppendCode(report, "CM_Reenumerate_DevNode", code);
        return false;
    }
    return true;
}

std::optional<DeviceNumber> WindowsBackend::DeviceNumberOfWide(const std::wstring& path) {
    std::uint32_t error = 0;
    // No access rights: a query needs none, and works while others have the device open.
    const OsHandle handle = calls_->CreateFile(path, 0, kShareRead | kShareWrite, error);
    if (handle == kNoOsHandle) return std::nullopt;
    std::array<std::uint8_t, kDeviceNumberSize> number{};
    std::uint32_t returned = 0;
    const bool ok = calls_->DeviceIoControl(handle, ioctl::kStorageGetDeviceNumber, {}, number,
                                            returned, error);
    calls_->CloseHandle(handle);
    if (!ok || returned < kDeviceNumberSize) return std::nullopt;
    return DeviceNumber{Le32(number, 0), Le32(number, 4)};
}

std::optional<DeviceNumber> WindowsBackend::DeviceNumberOf(const std::string& path) {
    const std::string node = NodeOfPath(path);
    if (node.empty()) return std::nullopt;
    return DeviceNumberOfWide(DeviceName(node));
}

std::optional<char> WindowsBackend::DriveLetterOf(const std::string& path) {
    const std::uint32_t letters = calls_->LogicalDrives();
    const auto disk = DeviceNumberOf(path);
    if (!disk) return std::nullopt;
    const std::wstring windows = calls_->WindowsDirectory();
    const wchar_t system = windows.empty() ? 0 : static_cast<wchar_t>(std::towupper(windows[0]));
    for (int i = 0; i < 26; ++i) {
        const auto letter = static_cast<wchar_t>(L'A' + i);
        if ((letters & (1u << i)) == 0 || letter == system) continue;
        const auto volume = DeviceNumberOfWide(std::wstring(L"\\\\.\\") + letter + L":");
        if (volume && *volume == *disk) return static_cast<char>('A' + i);
    }
    return std::nullopt;
}

std::optional<SystemVersion> WindowsBackend::VersionOfSystem() {
    auto version = calls_->Version(true);
    if (!version) version = calls_->Version(false);
    if (!version) return std::nullopt;
    return SystemVersion{version->major, version->minor};
}

int WindowsBackend::IdentifyThroughDriver(const std::string& path, int index,
                                          std::span<std::uint8_t, 512> data) {
    const std::string node = NodeOfPath(path);
    if (node.empty()) return ENOENT;
    std::uint32_t error = 0;
    const OsHandle handle = calls_->CreateFile(DeviceName(node), kAccessRead | kAccessWrite,
                                               kShareRead | kShareWrite, error);
    if (handle == kNoOsHandle) return ErrnoOf(error);
    std::array<std::uint8_t, smart::kInSize> in{};
    Put32(in.data() + smart::kInBufferSize, 512);
    const std::uint8_t device = (index & 1) ? 0xB0 : 0xA0;
    // FEATURES, SECTOR COUNT, SECTOR NUMBER, CYLINDER LOW, CYLINDER HIGH, DRIVE/HEAD, COMMAND.
    const std::array<std::uint8_t, 8> registers{0, 1, 0, 0, 0, device, 0xEC, 0};
    std::copy(registers.begin(), registers.end(), in.begin() + smart::kInRegisters);
    in[smart::kInDriveNumber] = static_cast<std::uint8_t>(index);
    std::array<std::uint8_t, smart::kOutSize> out{};
    std::uint32_t returned = 0;
    const bool ok =
        calls_->DeviceIoControl(handle, ioctl::kSmartRcvDriveData, in, out, returned, error);
    calls_->CloseHandle(handle);
    if (!ok) return ErrnoOf(error);
    if (out[smart::kOutDriverError] != 0) return EIO;
    std::copy_n(out.begin() + smart::kOutHeader, 512, data.begin());
    return 0;
}

std::uint64_t WindowsBackend::NowMs() {
    return calls_->TickCount64();
}

void WindowsBackend::SleepMs(std::uint32_t ms) {
    calls_->Sleep(ms);
}

}  // namespace vt::platform
