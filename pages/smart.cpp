#include "pages/smart.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"

namespace vt {
namespace {

struct AttributeName {
    std::uint8_t id;
    const char* name;
    const char* name_11;    // nullptr: the standard name
    const char* name_3001;  // nullptr: the standard name
};

constexpr AttributeName kAttributeNames[] = {
    {0x01, "Read Error Rate", "Raw Read Error Rate", nullptr},
    {0x02, "Throughput Performance", nullptr, nullptr},
    {0x03, "Spin Up Time", nullptr, nullptr},
    {0x05, "Re-allocated Sector Count", nullptr, nullptr},
    {0x07, "Seek Error Rate", nullptr, nullptr},
    {0x08, "Seek Time Performance", nullptr, nullptr},
    {0x09, "Power-on Hours Count", nullptr, "Power-on hours"},
    {0x0A, "Spin Retry Count", nullptr, nullptr},
    {0x0C, "Drive Power Cycle Count", "Power Cycle Count", "Power cycle count"},
    {0xA3, "Max. erase count", nullptr, nullptr},
    {0xA4, "Avg. erase count", nullptr, nullptr},
    {0xA6, "Total later bad block count", nullptr, nullptr},
    {0xA7, "SSD Protect Mode", nullptr, nullptr},
    {0xA8, "SATA PHY Error Count", nullptr, nullptr},
    {0xA9, "Bad Block Count", nullptr, nullptr},
    {0xAA, "Max Bad Block Count", nullptr, nullptr},
    {0xAD, "Erase Count", nullptr, nullptr},
    {0xAF, "Bad Cluster Count", nullptr, "Bad Cluster Table Count"},
    {0xB1, "Wear Leveling Count", nullptr, nullptr},
    {0xB2, "Used Reserved Block Count (Worst Case)", nullptr, nullptr},
    {0xB5, "Program Fail Count (Total)", nullptr, nullptr},
    {0xB6, "Erase Fail Count (Total)", nullptr, nullptr},
    {0xB7, "SATA Interface Downshift", nullptr, nullptr},
    {0xB8, "End to End Error Detection/Correction Count", nullptr, nullptr},
    {0xBB, "Uncorrectable Error Count", nullptr, nullptr},
    {0xBC, "Average Erase Count", nullptr, nullptr},
    {0xBD, "Max Erase Count", nullptr, nullptr},
    {0xC0, "Unexpected Power Loss Count", "Unsafe Shutdown Count", "Unexpected Power Loss Count"},
    {0xC2, "Temperature", nullptr, nullptr},
    {0xC4, "Re-allocated Event Count", nullptr, nullptr},
    {0xC5, "Current Pending Sector Count", nullptr, nullptr},
    {0xC6, "Off-line Scan Uncorr. Sec. Count", nullptr, nullptr},
    {0xC7, "Ultra CRC Error Count", nullptr, nullptr},
    {0xE8, "Available Reserved Space", nullptr, nullptr},
    {0xF0, "Write Head", nullptr, nullptr},
    {0xF1, "Total LBA written", nullptr, "Total sectors of write"},
    {0xF2, "Total LBA read", nullptr, nullptr},
};

}  // namespace

SmartData DecodeSmartData(std::span<const std::uint8_t> data,
                          std::span<const std::uint8_t> thresholds) {
    SmartData out;
    out.revision = static_cast<std::uint16_t>(Byte(data, 0) | Byte(data, 1) << 8);
    for (std::size_t i = 0; i < kSmartEntryCount; ++i) {
        const std::size_t base = 2 + i * kSmartEntrySize;
        auto& entry = out.entries[i];
        entry.id = Byte(data, base);
        entry.flags = static_cast<std::uint16_t>(Byte(data, base + 1) | Byte(data, base + 2) << 8);
        entry.value = Byte(data, base + 3);
        entry.worst = Byte(data, base + 4);
        for (std::size_t b = 0; b < entry.raw.size(); ++b) entry.raw[b] = Byte(data, base + 5 + b);
        entry.threshold = Byte(thresholds, base + 1);
    }
    return out;
}

SmartNameVariant SmartVariantOf(std::span<const std::uint8_t> table_code) {
    const auto starts = [&](const char* text) {
        const std::size_t length = std::strlen(text);
        return table_code.size() >= length && std::equal(text, text + length, table_code.begin());
    };
    if (starts("11")) return SmartNameVariant::Code11;
    if (starts("3001")) return SmartNameVariant::Code3001;
    return SmartNameVariant::Standard;
}

SmartNameVariant SmartVariantOfFwInfo(std::span<const std::uint8_t> fw_info) {
    if (fw_info.size() < kSmartTableCodeOffset + 4) return SmartNameVariant::Standard;
    return SmartVariantOf(fw_info.subspan(kSmartTableCodeOffset, 4));
}

const char* SmartAttributeName(std::uint8_t id, SmartNameVariant variant) {
    for (const auto& entry : kAttributeNames) {
        if (entry.id != id) continue;
        const char* replacement = variant == SmartNameVariant::Code11     ? entry.name_11
                                  : variant == SmartNameVariant::Code3001 ? entry.name_3001
                                                                          : nullptr;
        return replacement != nullptr ? replacement : entry.name;
    }
    return nullptr;
}

SmartDerivedValues SmartDerived(const SmartData& data) {
    SmartDerivedValues out;
    const auto set = [](auto& field, auto value) {
        if (!field) field = value;
    };
    for (const auto& entry : data.entries) {
        switch (entry.id) {
            case 0x09:
                set(out.power_on_hours, entry.Raw48());
                break;
            case 0x0C:
                set(out.power_cycle_count, entry.Raw48());
                break;
            case 0xA7:
                set(out.protect_mode, entry.raw[0]);
                break;
            case 0xA8:
                set(out.sata_phy_error_count, entry.Raw16(0));
                break;
            case 0xA9:
                set(out.bad_block_count, entry.Raw16(0));
                set(out.total_bad_count, entry.Raw16(2));
                set(out.later_bad_count, entry.Raw16(4));
                break;
            case 0xAD:
                set(out.erase_count, entry.Raw16(0));
                break;
            case 0xAF:
                set(out.bad_cluster_table_count, entry.Raw16(0));
                break;
            case 0xC0:
                set(out.unexpected_power_loss_count, entry.Raw48());
                break;
            case 0xC2:
                set(out.temperature_current, entry.Raw16(0));
                set(out.temperature_min, entry.Raw16(2));
                set(out.temperature_max, entry.Raw16(4));
                break;
            default:
                break;
        }
    }
    return out;
}

}  // namespace vt
