#pragma once
// The SSD Info page: the controller's configuration and flash geometry as SystemInfo holds them.

#include <cstdint>
#include <span>
#include <string>

#include "pages/page_models.h"
#include "report/page_texts.h"
#include "vendor/system_info.h"

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
PageTexts SsdInfoPageTexts(const SsdInfoModel& model);

}  // namespace vt
