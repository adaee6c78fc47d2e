#pragma once
// The device scan: the system's disks become the tool's drives, device numbers and list rows.

#include <functional>
#include <optional>
#include <string>

#include "access/ata_strings.h"  // TrimDisplay, the form of the rows' texts
#include "discovery/device_list.h"

namespace vt {

inline constexpr const char* kTextIde = " IDE / SATA ";
inline constexpr const char* kTextScsi = " SCSI ";
inline constexpr const char* kTextUsb = " USB ";
inline constexpr const char* kTextSbp2 = " SBP2 ";
inline constexpr const char* kTextUsbSata = " USB / SATA ";

// The interface kind and text a (lower-cased) disk path is classified as; kind 0 is skipped.
struct Classification {
    int kind = 0;
    const char* text = nullptr;
};
Classification ClassifyDiskPath(const std::string& lower_path);

// Rewrites DeviceTable, DriveInfoTable and CarrierMode; returns the rows and combo lines. At most
// kMaxDevices drives are accepted; further disks are left out with one debug line.
DeviceListRecord ScanDevices();

// Whether a DEVICE argument names the row: the number in its Disk column, its path or its node.
bool RowIsNamed(const DeviceRow& row, const std::string& name);
// The row of the scan's list that `name` names; nullopt when none does.
std::optional<std::size_t> FindListedRow(const DeviceListRecord& record, const std::string& name);

// The scan up to the drive `name` names: drives are numbered in the order they are accepted, so
// the disks before it are scanned as ScanDevices does, and none after it is touched. The record
// is ScanDevices' whole one when no drive is so named.
DeviceListRecord ScanDevicesFor(const std::string& name);

// The row of a disk the scan does not list, set up in device slot `device` by the caller (the
// self-test takes any disk): its IDENTIFY strings, where it answers IDENTIFY, and its capacity.
DeviceRow DescribeUnlistedDisk(unsigned device);

}  // namespace vt
