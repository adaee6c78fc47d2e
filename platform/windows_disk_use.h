#pragma once
// Which volumes lie on a Windows disk, whether anything uses them, and the volume locks that keep
// them unused while user data is written to the disk.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/windows_calls.h"

namespace vt::platform {

struct DiskVolume {
    std::wstring name;                      // "\\?\Volume{...}\"
    std::vector<std::wstring> mount_paths;  // drive letters ("E:\") and mount folders
    bool holds_system = false;              // the Windows directory lies on it
};

// The volumes with an extent on disk number `disk`.
std::vector<DiskVolume> VolumesOnDisk(WindowsCalls& calls, std::uint32_t disk);

// The disk's volumes as partitions, every mount path of them as a user, and whether the system's
// own volume is among them.
DiskUse DiskUseOf(const std::vector<DiskVolume>& volumes);

// Locks every volume of the disk for writing to it: -EBUSY when one is mounted, holds the system
// or cannot be locked (something has it open); else 0 and the locked volumes' handles.
int LockDiskVolumes(WindowsCalls& calls, const std::vector<DiskVolume>& volumes,
                    std::vector<OsHandle>& locked);
void UnlockVolumes(WindowsCalls& calls, const std::vector<OsHandle>& locked);

}  // namespace vt::platform
