#pragma once
// One reader per page: each talks to the drive once and returns the page's model, nullopt when
// its read failed. What a read needs of the refresh (the transfer buffer, the decoded system
// information, the bad block marks, the settings) is passed in.

#include <cstdint>
#include <optional>
#include <span>

#include "pages/page_models.h"
#include "pages/refresh_state.h"

namespace vt {

// The Device Info page by the path the drive is reached on: the bridge's own answers for a drive
// behind a bridge of vendor command blocks, ATA IDENTIFY (into the buffer) otherwise.
std::optional<DeviceInfoModel> ReadDeviceInfo(unsigned device, std::span<std::uint8_t> buffer);

// The SSD Info page: the system information read last (ReadSystemInfo) and the drive's capacity.
SsdInfoModel ReadSsdInfo(unsigned device, const SystemInfoRecord& info);

// The Bad Block Info page with the geometry of the system information its detail reads again;
// `remap_relation`: the EnRemapRelation setting; `marks`, when given, receives the bad
// blocks for the erase count page.
BadBlocksModel ReadBadBlocks(unsigned device, bool remap_relation, BadBlockMarks* marks);

// Controller memory 0500h-058Fh of the configuration dump, read into the buffer.
inline constexpr std::uint32_t kConfigDumpFirst = 0x500;
inline constexpr std::size_t kConfigDumpBytes = 9 * 16;
std::optional<ConfigDumpModel> ReadConfigDump(unsigned device, std::span<std::uint8_t> buffer);

}  // namespace vt
