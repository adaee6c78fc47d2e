#pragma once
// Reading the controller's loader block (its memory copy, then a valid copy on one of the four
// system blocks) into SystemInfo and the device's entry.

#include <cstdint>
#include <span>
#include <string_view>

#include "access/device_tables.h"
#include "vendor/system_info.h"

namespace vt {

inline constexpr std::size_t kLoaderBlockSize = 4096;
inline constexpr std::size_t kReadSystemInfoBufferSize = 128 * 1024;
inline constexpr const char* kSysReadDumpName = "sysread.raw";

// Fills SystemInfo and the device's SysBlock and LaterBadUnit. The buffer (at least 128 KiB, else
// false and nothing sent) holds the last flash copy read on return. False only when the memory
// copy cannot be read. Without a valid flash copy the flash-only fields are cleared (never those
// of the drive read before) and FlashCopyFound is false.
bool ReadSystemInfo(unsigned device, std::span<std::uint8_t> buffer);

// The pieces of ReadSystemInfo, on raw loader blocks (a short block reads as zeros past its end).
void TakeMemoryCopy(std::span<const std::uint8_t> block, SystemInfoRecord& info,
                    DeviceEntry& entry);
void TakeFlashCopy(std::span<const std::uint8_t> block, SystemInfoRecord& info);
// LoaderFormat and LoaderSignature by the controller model in FwInfo; an unknown model leaves both.
void SelectLoaderFormat(SystemInfoRecord& info);

// The controller model, the three characters at FwInfo 0x24.
std::string_view ControllerModel(const SystemInfoRecord& info);
// The build character, FwInfo byte 6.
inline char ControllerBuild(const SystemInfoRecord& info) {
    return static_cast<char>(info.FwInfo[6]);
}

}  // namespace vt
