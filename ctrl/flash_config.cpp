#include "ctrl/flash_config.h"

#include <array>

namespace vt {
namespace {

constexpr std::array<std::uint8_t, 8> kSectorsPerPage{4, 8, 16, 32, 0, 0, 0, 0};
constexpr std::array<std::uint16_t, 8> kPagesPerBlock{64, 128, 256, 512, 0, 0, 0, 0};
constexpr std::array<std::uint16_t, 8> kBlocksPerCe{2048, 4096, 8192, 16384, 1024, 0, 0, 0};
constexpr std::array<std::uint8_t, 4> kDiesPerCe{1, 2, 4, 0};

constexpr std::array<std::string_view, 6> kVendorNames{"Micron", "Samsung", "Toshiba",
                                                       "Hynix",  "Intel",   "Sandisk"};
constexpr std::array<std::string_view, 4> kEccModeNames{"BCH 8", "BCH 16", "BCH 24", "BCH 40"};
constexpr std::array<std::string_view, 8> kIoDriveCurrentNames{"2 mA",  "4 mA",  "6 mA",  "8 mA",
                                                               "10 mA", "12 mA", "14 mA", "16 mA"};

template <typename Table>
std::string_view NameAt(const Table& table, unsigned index) {
    return index < table.size() ? table[index] : std::string_view{};
}

}  // namespace

FlashGeometry FlashGeometryOf(std::uint16_t flash_config) {
    FlashGeometry g;
    g.SectorsPerPage = kSectorsPerPage[flash_config & 0x7];
    g.PagesPerBlock = kPagesPerBlock[(flash_config >> 3) & 0x7];
    g.BlocksPerCe = kBlocksPerCe[(flash_config >> 6) & 0x7];
    g.DiesPerCe = kDiesPerCe[(flash_config >> 9) & 0x3];
    if (g.DiesPerCe != 0)
        g.UnitsPerDie = static_cast<std::uint16_t>(g.BlocksPerCe / 2 / g.DiesPerCe);
    return g;
}

void DecodeFlashConfig(SystemInfoRecord& info) {
    const FlashGeometry g = FlashGeometryOf(info.FlashConfig);
    info.SectorsPerPage = g.SectorsPerPage;
    info.PagesPerBlock = g.PagesPerBlock;
    info.BlocksPerCe = g.BlocksPerCe;
    info.DiesPerCe = g.DiesPerCe;
    info.UnitsPerDie = g.UnitsPerDie;
}

std::string_view CellTypeName(std::uint16_t flash_config) {
    return (flash_config & 0x0800) ? "MLC" : "SLC";
}

unsigned FlashVendorOf(std::uint16_t flash_config) {
    return flash_config >> 12;
}

std::string_view FlashVendorName(std::uint16_t flash_config) {
    return NameAt(kVendorNames, FlashVendorOf(flash_config));
}

std::string_view EccModeName(unsigned ecc_mode) {
    return NameAt(kEccModeNames, ecc_mode);
}

std::string_view IoDriveCurrentName(unsigned index) {
    return NameAt(kIoDriveCurrentNames, index);
}

}  // namespace vt
