#include "ctrl/block_units.h"

#include "ctrl/flash_config.h"

namespace vt {
namespace {

bool DieNumbered(const SystemInfoRecord& info, std::uint32_t& u) {
    u = info.UnitsPerDie;
    return u != 0 && FlashVendorOf(info.FlashConfig) == kFlashVendorToshiba && info.ConfigBit5 == 0;
}

}  // namespace

std::uint16_t BlockToUnit(std::uint16_t block, const SystemInfoRecord& info) {
    std::uint32_t u = 0;
    if (!DieNumbered(info, u)) return static_cast<std::uint16_t>(block / 2);
    return static_cast<std::uint16_t>((block / (2 * u)) * u + block % (2 * u));
}

std::uint16_t UnitToBlock(std::uint16_t unit, const SystemInfoRecord& info) {
    std::uint32_t u = 0;
    if (!DieNumbered(info, u)) return static_cast<std::uint16_t>(unit * 2);
    return static_cast<std::uint16_t>((unit / u) * 2 * u + 2 * (unit % u));
}

std::uint16_t BlockToUnit(std::uint16_t block) {
    return BlockToUnit(block, SystemInfo);
}
std::uint16_t UnitToBlock(std::uint16_t unit) {
    return UnitToBlock(unit, SystemInfo);
}

}  // namespace vt
