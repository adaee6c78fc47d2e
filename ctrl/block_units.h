#pragma once
// Flash block numbers and the block units (pairs of blocks) the controller's tables count in.

#include <cstdint>

#include "vendor/system_info.h"

namespace vt {

// Toshiba flash with ConfigBit5 clear numbers its units die by die, u = UnitsPerDie units each;
// every other flash pairs neighbouring blocks. A geometry with no units per die (undefined codes)
// falls back to plain pairs instead of dividing by zero.
std::uint16_t BlockToUnit(std::uint16_t block, const SystemInfoRecord& info);
std::uint16_t UnitToBlock(std::uint16_t unit, const SystemInfoRecord& info);

// The same with the process-wide SystemInfo.
std::uint16_t BlockToUnit(std::uint16_t block);
std::uint16_t UnitToBlock(std::uint16_t unit);

}  // namespace vt
