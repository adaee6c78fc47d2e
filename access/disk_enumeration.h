#pragma once
// The disks the system knows, a bus rescan, and the first IDENTIFY through the disk's own path.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vt {

inline constexpr std::size_t kMaxDiskPaths = 80;
inline constexpr std::size_t kMaxDiskPathLength = 255;

using DiskList = std::vector<std::string>;

struct StorageDeviceNumber {
    std::uint32_t DeviceType = 0;    // Linux: the block major; Windows: the device type
    std::uint32_t DeviceNumber = 0;  // Linux: the minor of the whole disk; Windows: its number
    std::uint32_t PartitionNumber = 0;
};

// Fills the list with at most 80 disk paths in enumeration order; a path longer than 255
// characters is left out rather than cut (a cut path would open another node). Returns the count.
int EnumerateDisks(DiskList& list);
// 1 when every bus accepted the rescan; failures are reported on standard output.
int RescanBuses();
// The system reports version 6.2 (it changes how the device scan classifies SCSI disks); never
// on a system without such versions.
bool IsWindows8();
// 1 and the upper-case letter of the first lettered volume on the disk, the system drive
// excepted; 0 with the letter untouched when there is none (always on Linux, which mounts
// volumes without letters).
int FindDriveLetter(const std::string& path, char& letter);
int GetStorageDeviceNumber(const std::string& path, StorageDeviceNumber& number);
// IDENTIFY DEVICE through the disk's path, strings fixed up. The buffer is left as it was on
// failure. `index` is the disk's position in the disk list (its parity selects the DEV bit).
bool IdentifyViaDriver(const std::string& path, int index, int interface_kind,
                       std::span<std::uint8_t> buffer, int length);

// Whether the tool may send raw commands to a disk: nullopt when it may, else the rights message.
// Sends CHECK POWER MODE, which changes nothing on the drive.
std::optional<std::string> CheckDeviceAccess(const std::string& path);

}  // namespace vt
