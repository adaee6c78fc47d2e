#pragma once
// Reading the firmware's UART log ring: from controller memory while the firmware runs, or from
// the serial flash through a loaded GDP program while the loader runs.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "pages/page_models.h"

namespace vt {

struct FirmwareLogRead {
    std::optional<FirmwareLogModel> model;  // nullopt when the ring could not be read
    // Why, when the user must be told (a code image whose serial flash tag is not one the view
    // knows); empty otherwise.
    std::string refusal;
};

// Reads the log through the buffer (TransferBuffer); `use_dram_layout`: ask the firmware where its
// logs are (UseDramLayout).
FirmwareLogRead ReadFirmwareLog(unsigned device, std::span<std::uint8_t> buffer, bool loader,
                                bool use_dram_layout);

}  // namespace vt
