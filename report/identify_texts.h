#pragma once
// The Device Info page's texts: the SATA group from the decoded IDENTIFY data, the USB group from
// what the bridge said.

#include <cstdint>
#include <span>

#include "pages/identify.h"
#include "report/page_texts.h"

namespace vt {

// The SATA group. Controls whose condition does not hold are left out, so they keep what they
// held.
PageTexts IdentifyPageTexts(const SataIdentity& identity);
PageTexts IdentifyPageTexts(std::span<const std::uint8_t> identify);

PageTexts UsbIdentityTexts(const UsbIdentity& identity);
PageTexts UsbCapacityTexts(std::uint64_t capacity_mb, std::uint64_t capacity_bytes);
// VID, PID, the names and the string descriptors from the bridge's configuration buffer.
PageTexts UsbConfigTexts(std::span<const std::uint8_t> config);

}  // namespace vt
