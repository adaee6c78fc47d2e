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

struct DiskVolumes {
    std::vector<DiskVolume> volumes;
    // The errno value of a volume whose disks could not be read (it may lie on this disk), else 0.
    // A volume without a medium, or on no disk at all, is known not to lie on it.
    int unknown = 0;
};

// The volumes with an extent on disk number `disk`.
DiskVolumes VolumesOnDisk(WindowsCalls& calls, std::uint32_t disk);

// The disk's volumes as partitions, every mount path of them as a user, and whether the system's
// own volume is among them.
DiskUse DiskUseOf(const std::vector<DiskVolume>& volumes);

// Locks every volume of the disk for writing to it: -EBUSY when one is mounted, holds the system
// or cannot be locked (something has it open), the negative `unknown` error when a volume may
// lie on the disk unseen; else 0 and the locked volumes' handles.
int LockDiskVolumes(WindowsCalls& calls, const DiskVolumes& volumes, std::vector<OsHandle>& locked);
void UnlockVolumes(WindowsCalls& calls, const std::vector<OsHandle>& locked);

}  // namespace vt::platform
