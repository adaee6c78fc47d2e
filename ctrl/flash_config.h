#pragma once
// The flash geometry packed into the controller's FlashConfig word, and the name tables the views
// show next to it.

#include <cstdint>
#include <string_view>

#include "vendor/system_info.h"

namespace vt {

// Codes that the controller does not define decode to 0; users of these values must treat 0 as
// "unknown" rather than divide by it.
struct FlashGeometry {
    std::uint8_t SectorsPerPage = 0;
    std::uint16_t PagesPerBlock = 0;
    std::uint16_t BlocksPerCe = 0;
    std::uint8_t DiesPerCe = 0;
    // A block unit is a pair of blocks; 0 when the blocks or the dies are unknown.
    std::uint16_t UnitsPerDie = 0;
};

inline constexpr unsigned kFlashVendorToshiba = 2;

FlashGeometry FlashGeometryOf(std::uint16_t flash_config);
// Sets the geometry fields of the record from its FlashConfig.
void DecodeFlashConfig(SystemInfoRecord& info);

// Bit 11: 0 SLC, 1 MLC.
std::string_view CellTypeName(std::uint16_t flash_config);
// Bits 12-15. Index 0-5 name a maker; the others give an empty name.
unsigned FlashVendorOf(std::uint16_t flash_config);
std::string_view FlashVendorName(std::uint16_t flash_config);

// Empty for an index the tables do not hold.
std::string_view EccModeName(unsigned ecc_mode);
std::string_view IoDriveCurrentName(unsigned index);

}  // namespace vt
