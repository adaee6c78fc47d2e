#pragma once
// A drive's S.M.A.R.T. attributes, from which the SMART data and threshold sectors are built each
// time they are read, so that a counter reset shows in the next read.

#include <array>
#include <cstdint>
#include <vector>

#include "sim/bytes.h"

namespace vt::sim {

struct SmartAttribute {
    std::uint8_t id = 0;
    std::uint16_t flags = 0x0032;
    std::uint8_t value = 100;
    std::uint8_t worst = 100;
    std::uint8_t threshold = 0;
    std::uint64_t raw = 0;  // 48 bits
};

// The three counters the firmware lets the tool reset, by their reset selector 1, 2 and 3.
struct SmartCounters {
    std::uint32_t power_cycles = 0;    // attribute 0Ch
    std::uint32_t power_loss = 0;      // attribute C0h
    std::uint32_t power_on_hours = 0;  // attribute 09h, the life timestamp
};

inline constexpr std::uint8_t kPowerOnHoursId = 0x09;
inline constexpr std::uint8_t kPowerCyclesId = 0x0C;
inline constexpr std::uint8_t kPowerLossId = 0xC0;

struct SmartModel {
    std::uint16_t revision = 0x0001;
    std::vector<SmartAttribute> attributes;  // at most 30 are stored
    SmartCounters counters;                  // the values at power-on
};

// The 512-byte SMART READ DATA sector, with the counters' current values in their raw fields.
Bytes BuildSmartData(const SmartModel& model, const SmartCounters& counters);
Bytes BuildSmartThresholds(const SmartModel& model);

}  // namespace vt::sim
