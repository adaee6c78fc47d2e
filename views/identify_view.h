#pragma once
// The Device Info page: the drive's IDENTIFY DEVICE data on a SATA port, or what a USB bridge and
// its configuration say about the drive behind it.

#include <cstdint>
#include <span>

#include "views/page_texts.h"

namespace vt {

inline constexpr std::size_t kIdentifySize = 512;
inline constexpr std::size_t kUsbConfigBufferSize = 128 * 1024;

// The SATA group from 512 bytes of IDENTIFY data (missing bytes read as zero). Controls whose
// condition does not hold are left out, so they keep what they held.
PageTexts IdentifyPageTexts(std::span<const std::uint8_t> identify);

// The INQUIRY answer of a bridge whose controller sits in its loader.
bool IsBridgeLoaderInquiry(std::span<const std::uint8_t> inquiry);
PageTexts UsbCapacityTexts(std::uint32_t capacity_mb, std::uint64_t capacity_bytes);
// VID, PID, the names and the string descriptors from the bridge's configuration buffer.
PageTexts UsbConfigTexts(std::span<const std::uint8_t> config);

// Reads IDENTIFY into the first 512 bytes of the buffer (zeroed first) and builds the SATA group;
// nothing when the read fails.
PageTexts ParseInfo(unsigned device, std::span<std::uint8_t> buffer);
// INQUIRY, capacity and configuration of a USB bridge, into buffers of its own.
PageTexts ParseUSBInfo(unsigned device);

}  // namespace vt
