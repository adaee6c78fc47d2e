// Reading the S.M.A.R.T. sectors of a drive into the page's model.

#include <array>

#include "access/device_tables.h"
#include "pages/smart.h"
#include "vendor/catalogue.h"

namespace vt {

std::optional<SmartReport> ReadSmartReport(unsigned device, std::span<std::uint8_t> buffer,
                                           std::span<const std::uint8_t> fw_info) {
    if (buffer.size() < kSmartSectorSize) return std::nullopt;
    std::array<std::uint8_t, kSmartSectorSize> thresholds{};
    // A bridge of its own command blocks answers the data through the vendor protocol and has no
    // thresholds to give.
    const bool read = EntryOf(device).DirectVendorCdb
                          ? VC_ReadSmartUsb(device, buffer, 1) == 1
                          : VC_SmartEnable(device) == 1 &&
                                VC_SmartReadData(device, buffer, 1) == 1 &&
                                VC_SmartReadThresholds(device, thresholds, 1) == 1;
    if (!read) return std::nullopt;
    return SmartReport{DecodeSmartData(buffer.first(kSmartSectorSize), thresholds),
                       SmartVariantOfFwInfo(fw_info)};
}

}  // namespace vt
