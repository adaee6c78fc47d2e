#pragma once
// The per-device copies of the controller's table pages, alive for one refresh: held for the drive
// it reads from its start, and released at its end. Each table comes into being, zero-filled, when
// a reader first asks for it, so a refresh pays only for the tables its pages read.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "access/device_tables.h"

namespace vt {

inline constexpr std::size_t kTablePageBufferSize = 128 * 1024;
inline constexpr std::size_t kLaterBadSlots = 16;
inline constexpr std::size_t kLaterBadTableSize = kLaterBadSlots * kTablePageBufferSize;

// Each table holds one page per channel: channel c's page starts at c x page size. A table asked
// for while the buffers are held is 128 KiB, zero-filled on the first ask and kept, with what was
// written into it, until they are released; while they are not held every table is empty.
class DeviceBuffers {
  public:
    std::span<std::uint8_t> DefectTable() { return Table(defect_); }
    std::span<std::uint8_t> EarlyTable() { return Table(early_); }
    std::span<std::uint8_t> RemapTable() { return Table(remap_); }
    // Slot 0-15 of the later-bad table, the collected later-bad pages of one unit; empty for a
    // slot past the end.
    std::span<std::uint8_t> LaterBadSlot(std::size_t slot);

    bool Held() const { return held_; }
    // What the tables asked for so far occupy.
    std::size_t BytesInUse() const;

  private:
    friend void AllocDeviceBuffers(unsigned device);
    friend void FreeDeviceBuffers();

    std::span<std::uint8_t> Table(std::vector<std::uint8_t>& table);

    bool held_ = false;
    std::vector<std::uint8_t> defect_;
    std::vector<std::uint8_t> early_;
    std::vector<std::uint8_t> remap_;
    std::array<std::vector<std::uint8_t>, kLaterBadSlots> later_bad_;
};

extern std::array<DeviceBuffers, kMaxDevices> DeviceBufferTable;

// Only the low 8 bits of the device number count; a number past the table is taken modulo its size.
DeviceBuffers& BuffersOf(unsigned device);

// Holds the buffers for the device's slot, none of them filled yet; every other slot is released
// (a refresh reads one drive).
void AllocDeviceBuffers(unsigned device);
// Releases them all; the tables are then empty spans to every reader.
void FreeDeviceBuffers();

}  // namespace vt
