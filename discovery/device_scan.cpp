#include "discovery/device_scan.h"

#include "access/disk_enumeration.h"

namespace vt {

// Interim: lists no drive yet, but reports missing rights so the window is never silently empty.
DeviceListRecord ScanDevices() {
    DeviceListRecord record;
    DiskList disks;
    EnumerateDisks(disks);
    for (const auto& path : disks) {
        if (auto problem = CheckDeviceAccess(path)) {
            record.notices.push_back(*problem);
            break;
        }
    }
    return record;
}

}  // namespace vt
