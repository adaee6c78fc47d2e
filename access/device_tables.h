#pragma once
// The per-device tables, indexed by the device number the scan hands out.

#include <array>
#include <cstdint>
#include <string>

namespace vt {

inline constexpr std::size_t kMaxDevices = 12;

inline constexpr int DEVICE_IDE = 1;
inline constexpr int DEVICE_SCSI = 2;
inline constexpr int DEVICE_USB = 3;

struct DeviceEntry {
    // The path opened for every command to this drive.
    std::string DevicePath;
    // A USB bridge that takes vendor command blocks and SCSI commands as its own.
    std::uint8_t DirectVendorCdb = 0;
    // On an IDE/SATA port, reached by ATA pass-through.
    std::uint8_t AtaPassThrough = 0;
    std::array<std::uint16_t, 4> SysBlock{};
    std::array<std::uint16_t, 2> LaterBadUnit{};
};

struct DriveInfo {
    std::string Path;
    // IDENTIFY DEVICE data; serial (20-39), firmware (46-53) and model (54-93) already swapped and
    // trimmed. A string that fills its field has no terminator inside it.
    std::array<std::uint8_t, 512> IdentifyData{};
    std::int32_t InterfaceKind = 0;
    std::string BridgeVendor;   // at most 8 characters
    std::string BridgeProduct;  // at most 16 characters
};

extern std::array<DeviceEntry, kMaxDevices> DeviceTable;
extern std::array<DriveInfo, kMaxDevices> DriveInfoTable;
extern std::uint8_t CurrentDevice;

// The entry of a device number; only the low 8 bits count, and a number past the table's end
// (possible only from a corrupt caller) is taken modulo the table's size rather than read outside
// it.
DeviceEntry& EntryOf(unsigned device);
DriveInfo& DriveInfoOf(unsigned device);

// Gives `device` a fresh entry for the disk at `path` of interface `kind` (DEVICE_IDE, ...):
// nothing is left of the disk the slot held before. ATA pass-through on an IDE/SATA path; on a USB
// path vendor command blocks go to the bridge as its own commands until the bridge is identified.
DeviceEntry& SetUpEntry(unsigned device, const std::string& path, int kind);

}  // namespace vt
