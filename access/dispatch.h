#pragma once
// The single door through which every command reaches a drive.

#include <cstdint>
#include <span>

namespace vt {

inline constexpr int kCommandTimeoutSeconds = 10;
inline constexpr int kBridgeReadTimeoutSeconds = 300;

// 1 success; -1 empty path, or (ATA) a failed request or bad length; -2 the transport reported
// failure; 0 (ATA) the command took longer than its time-out. Only the low 8 bits of the device
// number count. Data is read into or written from `data` (length bytes).
int DispatchCommand(unsigned device, bool data_in, std::span<const std::uint8_t> block,
                    std::span<std::uint8_t> data, int length);

}  // namespace vt
