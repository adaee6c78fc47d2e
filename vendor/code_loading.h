#pragma once
// Loading a GDP code image into the controller: the image is adapted to the drive's configuration,
// written to program RAM in chunks, read back, and started.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "vendor/system_info.h"

namespace vt {

inline constexpr std::size_t kCodeImageSize = 128 * 1024;
inline constexpr std::uint8_t kCodeImageFill = 0x66;

// The code image file LoadGDP loads ("GDP.bin" in the program's directory; set by the refresh).
extern std::string GdpFilePath;

// Numbers the dump files of successive downloads; 0 at start, wraps at 256.
extern std::uint8_t DownloadCounter;

// Mode 10, the download of GdpFilePath, the jump. `flag` is set to 0. The image buffer is 128 KiB.
bool LoadGDP(unsigned device, std::span<std::uint8_t> image, std::uint8_t& flag,
             std::uint32_t load_address);
bool DownloadCode(unsigned device, std::span<std::uint8_t> image, const std::string& file_path,
                  std::uint32_t load_address);

// The pieces of the adaptation, exposed for their own tests.
// Rebuilds image bytes 0x500-0x577 from the system information and the device's system blocks
// (exchanging SysBlock[0] and [2] in the device entry when the swap rule asks for it).
void AdaptCodeImage(unsigned device, std::span<std::uint8_t> image, const SystemInfoRecord& info);
std::uint32_t TableAreaSize(const SystemInfoRecord& info);
// "GDP_" or "TST_" at 0x300.
bool IsTaggedImage(std::span<const std::uint8_t> image);

}  // namespace vt
