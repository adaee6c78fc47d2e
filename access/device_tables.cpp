#include "access/device_tables.h"

namespace vt {

std::array<DeviceEntry, kMaxDevices> DeviceTable{};
std::array<DriveInfo, kMaxDevices> DriveInfoTable{};
std::uint8_t CurrentDevice = 0;

DeviceEntry& EntryOf(unsigned device) {
    return DeviceTable[(device & 0xFF) % kMaxDevices];
}

DriveInfo& DriveInfoOf(unsigned device) {
    return DriveInfoTable[(device & 0xFF) % kMaxDevices];
}

}  // namespace vt
