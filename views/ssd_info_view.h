#pragma once
// The SSD Info page: the controller's configuration and flash geometry as SystemInfo holds them.

#include <cstdint>
#include <span>
#include <string>

#include "vendor/system_info.h"
#include "views/page_texts.h"

namespace vt {

// Runs of non-zero bytes of FwInfo, joined by single commas ("ABC,12").
std::string FirmwareIdentText(std::span<const std::uint8_t> fw_info);
// The two halves of BlockCeEdit.
std::string BlocksPerCeText(const SystemInfoRecord& info);
std::string BlocksPerFlashText(const SystemInfoRecord& info);
// The threshold slot of an ECC mode: 0 for mode 1, 1 for mode 2, 2 for every other mode.
std::size_t EccThresholdSlot(std::uint8_t ecc_mode);

// Every control of the page but DpdFTLMemo, from the record and the drive's capacity in MiB.
PageTexts SsdInfoPageTexts(const SystemInfoRecord& info, std::uint64_t capacity_mb);

// Reads the system information block of the device into the buffer (SystemInfo and the device
// entry are filled); false when it cannot be read.
bool GetSSDInfo(unsigned device, std::span<std::uint8_t> buffer);

}  // namespace vt
