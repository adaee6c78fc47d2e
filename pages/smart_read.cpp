// Reading the S.M.A.R.T. sectors of a drive into the page's model, and resetting its counters.

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

std::vector<std::string> ResetSmartCounters(unsigned device, std::span<std::uint8_t> buffer) {
    struct Counter {
        std::uint8_t selector;
        const char* failure;
    };
    static constexpr Counter kCounters[] = {
        {1, "Failed in reseting SMART(PowerCycleCount)"},
        {2, "Failed in reseting SMART(PowerLossCount)"},
        {3, "Failed in reseting SMART(LifeTimestamp)"},
    };
    std::vector<std::string> failures;
    for (const auto& counter : kCounters) {
        if (VC_ResetSmart(device, counter.selector, 0, buffer, 1) != 1)
            failures.emplace_back(counter.failure);
    }
    return failures;
}

}  // namespace vt
