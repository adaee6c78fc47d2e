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

DeviceEntry& SetUpEntry(unsigned device, const std::string& path, int kind) {
    auto& entry = EntryOf(device);
    entry = DeviceEntry{};
    entry.DevicePath = path;
    entry.AtaPassThrough = kind == DEVICE_IDE ? 1 : 0;
    entry.DirectVendorCdb = kind == DEVICE_USB ? 1 : 0;
    return entry;
}

}  // namespace vt
