#pragma once
// The per-device copies of the controller's table pages, alive for one refresh: created zero-filled
// at its start for the drive it reads, and released at its end.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "access/device_tables.h"

namespace vt {

inline constexpr std::size_t kTablePageBufferSize = 128 * 1024;
inline constexpr std::size_t kLaterBadSlots = 16;
inline constexpr std::size_t kLaterBadTableSize = kLaterBadSlots * kTablePageBufferSize;

// Each table holds one page per channel: channel c's page starts at c x page size.
struct DeviceBuffers {
    std::vector<std::uint8_t> DefectTable;
    std::vector<std::uint8_t> EarlyTable;
    std::vector<std::uint8_t> RemapTable;
    // 16 slots of 128 KiB, each the collected later-bad pages of one unit.
    std::vector<std::uint8_t> LaterBadTable;
};

extern std::array<DeviceBuffers, kMaxDevices> DeviceBufferTable;

// Only the low 8 bits of the device number count; a number past the table is taken modulo its size.
DeviceBuffers& BuffersOf(unsigned device);

// Creates the four buffers, zero-filled, for the device's slot; every other slot is released (a
// refresh reads one drive, and zero-filling all slots cost most of its time).
void AllocDeviceBuffers(unsigned device);
// Releases them; the tables are then empty spans to every reader.
void FreeDeviceBuffers();

// Slot 0-15 of the later-bad table; empty for a slot past the end or while the buffers are freed.
std::span<std::uint8_t> LaterBadSlot(DeviceBuffers& buffers, std::size_t slot);

}  // namespace vt
