#pragma once
// Which drive an output is about, as typed values: what the scan found of it and, once the SSD
// Info page was read, its controller.

#include <cstdint>
#include <string>

#include "discovery/device_list.h"
#include "vendor/system_info.h"

namespace vt {

struct DriveIdentity {
    unsigned number = 0;  // the number in the Disk column
    std::string path;
    std::string bus;  // the bus word of the path; "other" for a path without one
    std::string interface_name;
    // The IDENTIFY strings as the drive gives them (Latin-1).
    std::string model, serial, firmware;
    std::uint64_t capacity_bytes = 0;
    std::uint64_t capacity_mb = 0;
    // Empty until the system information was read.
    std::string controller_model, controller_build;
};

// The drive of a scanned row reached on `path`; `system_info`, when read, names its controller.
DriveIdentity DriveIdentityOf(const DeviceRow& row, const std::string& path,
                              const SystemInfoRecord* system_info = nullptr);

}  // namespace vt
