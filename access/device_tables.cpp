#include "access/device_tables.h"

namespace vt {

std::array<DeviceEntry, kMaxDevices> DeviceTable{};
std::array<DriveInfo, kMaxDevices> DriveInfoTable{};
std::uint8_t CurrentDevice = 0;

DeviceEntry& EntryOf(unsigned device) { return DeviceTable[(device & 0xFF) % kMaxDevices]; }

DriveInfo& DriveInfoOf(unsigned device) { return DriveInfoTable[(device & 0xFF) % kMaxDevices]; }

std::string IdentifyString(const std::array<std::uint8_t, 512>& data, std::size_t offset,
                           std::size_t length) {
    std::string text;
    for (std::size_t i = offset; i < offset + length && i < data.size() && data[i] != 0; ++i) {
        text.push_back(static_cast<char>(data[i]));
    }
    return text;
}

}  // namespace vt
