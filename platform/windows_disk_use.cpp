#include "platform/windows_disk_use.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <cwctype>
#include <optional>

#include "platform/byte_order.h"
#include "platform/wide_text.h"

namespace vt::platform {
namespace {

// VOLUME_DISK_EXTENTS: a count (padded to 8 bytes), then extents of 24 bytes with the disk
// number first. Room for as many extents as a spanned volume sensibly has.
constexpr std::size_t kExtentsHeader = 8;
constexpr std::size_t kExtentSize = 24;
constexpr std::size_t kMaxExtents = 32;

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

// A volume is opened by its name without the trailing backslash (with it, its root folder).
std::wstring VolumeDevice(const std::wstring& name) {
    return !name.empty() && name.back() == L'\\' ? name.substr(0, name.size() - 1) : name;
}

// Whether a volume has an extent on the disk; nullopt and the system's error when that cannot
// be told.
std::optional<bool> LiesOnDisk(WindowsCalls& calls, const std::wstring& volume, std::uint32_t disk,
                               std::uint32_t& error) {
    // No medium in its drive, gone meanwhile, or on no disk (a RAM disk, a network redirector):
    // on this disk it is not.
    auto known_elsewhere = [](std::uint32_t code) {
        return code == win_error::kNotReady || code == win_error::kNoMediaInDrive ||
               code == win_error::kFileNotFound || code == win_error::kPathNotFound ||
               code == win_error::kInvalidFunction || code == win_error::kNotSupported;
    };
    const OsHandle handle =
        calls.CreateFile(VolumeDevice(volume), 0, kShareRead | kShareWrite, error);
    if (handle == kNoOsHandle) return known_elsewhere(error) ? std::optional(false) : std::nullopt;
    std::array<std::uint8_t, kExtentsHeader + kMaxExtents * kExtentSize> extents{};
    std::uint32_t returned = 0;
    const bool ok =
        calls.DeviceIoControl(handle, ioctl::kVolumeGetDiskExtents, {}, extents, returned, error);
    calls.CloseHandle(handle);
    // More extents than the buffer holds: the ones it holds are read, the rest is unknown.
    const bool partial = !ok && error == win_error::kMoreData;
    if (!ok && !partial) return known_elsewhere(error) ? std::optional(false) : std::nullopt;
    if (returned < kExtentsHeader) return std::nullopt;
    const std::size_t filled =
        (std::min<std::size_t>(returned, extents.size()) - kExtentsHeader) / kExtentSize;
    const std::size_t count = std::min<std::size_t>(Le32(extents, 0), filled);
    for (std::size_t i = 0; i < count; ++i) {
        if (Le32(extents, kExtentsHeader + i * kExtentSize) == disk) return true;
    }
    if (partial) return std::nullopt;
    return false;
}

}  // namespace

DiskVolumes VolumesOnDisk(WindowsCalls& calls, std::uint32_t disk) {
    DiskVolumes found;
    std::wstring windows = Lower(calls.WindowsDirectory());
    if (!windows.empty() && windows.back() != L'\\') windows += L'\\';
    std::wstring name;
    const OsHandle search = calls.FindFirstVolume(name);
    if (search == kNoOsHandle) return found;
    do {
        std::uint32_t error = 0;
        const auto on_disk = LiesOnDisk(calls, name, disk, error);
        if (!on_disk) {
            if (found.unknown == 0) found.unknown = ErrnoOf(error);
            continue;
        }
        if (!*on_disk) continue;
        DiskVolume volume{name, calls.VolumePathNames(name).value_or(std::vector<std::wstring>{}),
                          false};
        for (const auto& mount : volume.mount_paths) {
            const std::wstring lower = Lower(mount);
            if (!windows.empty() && !lower.empty() && windows.starts_with(lower))
                volume.holds_system = true;
        }
        found.volumes.push_back(std::move(volume));
    } while (calls.FindNextVolume(search, name));
    calls.FindVolumeClose(search);
    return found;
}

DiskUse DiskUseOf(const std::vector<DiskVolume>& volumes) {
    DiskUse use;
    for (const auto& volume : volumes) {
        const std::string name = NarrowText(volume.name);
        use.partitions.push_back(name);
        for (const auto& mount : volume.mount_paths) {
            use.users.push_back({DiskUser::Kind::Mount, name, NarrowText(mount)});
        }
        if (volume.holds_system) use.system_volume = true;
    }
    return use;
}

int LockDiskVolumes(WindowsCalls& calls, const DiskVolumes& found, std::vector<OsHandle>& locked) {
    locked.clear();
    for (const auto& volume : found.volumes) {
        if (volume.holds_system || !volume.mount_paths.empty()) return -EBUSY;
    }
    // A volume that may lie on the disk unseen could be in use: nothing is written.
    if (found.unknown != 0) return -found.unknown;
    for (const auto& volume : found.volumes) {
        std::uint32_t error = 0;
        const OsHandle handle = calls.CreateFile(
            VolumeDevice(volume.name), kAccessRead | kAccessWrite, kShareRead | kShareWrite, error);
        std::uint32_t returned = 0;
        if (handle != kNoOsHandle &&
            calls.DeviceIoControl(handle, ioctl::kLockVolume, {}, {}, returned, error)) {
            locked.push_back(handle);
            continue;
        }
        UnlockVolumes(calls, locked);
        locked.clear();
        if (handle == kNoOsHandle) return -ErrnoOf(error);
        // A volume that will not lock has a file open on it, or a program holding it.
        calls.CloseHandle(handle);
        return -EBUSY;
    }
    return 0;
}

void UnlockVolumes(WindowsCalls& calls, const std::vector<OsHandle>& locked) {
    for (const OsHandle handle : locked) {
        std::uint32_t returned = 0, error = 0;
        calls.DeviceIoControl(handle, ioctl::kUnlockVolume, {}, {}, returned, error);
        calls.CloseHandle(handle);
    }
}

}  // namespace vt::platform
