#pragma once
// The device scan: the system's disks become the tool's drives, device numbers and list rows.

#include "discovery/device_list.h"

namespace vt {

// Rewrites DeviceTable, DriveInfoTable and CarrierMode; returns the rows and combo lines.
DeviceListRecord ScanDevices();

}  // namespace vt
