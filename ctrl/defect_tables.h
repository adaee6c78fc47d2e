#pragma once
// Reading the controller's bad block bookkeeping from a valid system block into the device's
// table buffers: the defect, early bad and remap pages, and the later-bad pages of every unit.

#include <cstdint>
#include <span>
#include <string>

#include "vendor/system_info.h"

namespace vt {

inline constexpr const char* kDefectTableDumpName = "DefectTable.raw";
inline constexpr const char* kEarlyTableDumpName = "EarlyTable.raw";
inline constexpr const char* kRemapTableDumpName = "Remap.raw";

// Page numbers inside a system block.
inline constexpr std::uint16_t kDefectTablePage = 1;
inline constexpr std::uint16_t kEarlyTablePage = 2;
inline constexpr std::uint16_t kRemapTablePage = 3;
inline constexpr std::uint16_t kSystemPage = 4;

// "LB_%2.2d%2.2d%3.3d.raw" of the unit index, the die and the page counted from 0.
std::string LaterBadDumpName(unsigned unit_index, unsigned die, unsigned page_index);

// The ECC option and layout option every table read uses.
std::uint8_t TableLayoutOption(const SystemInfoRecord& info);

// Needs the buffers of AllocDeviceBuffers. The buffer (at least 128 KiB) is the work buffer for
// finding a valid system block. False when no system block holds a valid loader block copy (nothing
// copied) or the buffers are not allocated. Failed page reads are not reported: the tables then
// hold what the read left, and readers judge pages by their signatures.
bool ReadDefectTables(unsigned device, std::span<std::uint8_t> buffer);

}  // namespace vt
