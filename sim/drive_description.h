#pragma once
// A drive as a bench file describes it in its own terms (controller model, flash geometry, bad
// blocks, wear, SMART, logs), from which the bench builds every byte image the controller returns.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/smart_model.h"

namespace vt::sim {

struct FlashGeometry {
    std::uint8_t vendor = 2;  // 0 Micron, 1 Samsung, 2 Toshiba, 3 Hynix, 4 Intel, 5 Sandisk
    bool mlc = true;
    std::uint32_t sectors_per_page = 32;
    std::uint32_t pages_per_block = 256;
    std::uint32_t blocks_per_ce = 2048;
    std::uint32_t dies_per_ce = 1;
    std::string name = "TC58TEG6DDKTA00";
};

struct FactoryBad {  // a block of the defect table
    std::uint32_t channel = 0, ce = 0, block = 0;
};

struct EarlyBad {  // a unit of the early bad table
    std::uint32_t channel = 0, ce = 0, unit = 0;
};

struct LaterBad {  // a unit the firmware retired in use
    std::uint32_t channel = 0, ce = 0, unit = 0;
    std::uint8_t type = 3;  // 1 Ecc Over, 3 Prog Fail, 4 Erase Fail, 5 Ecc Fail
    std::optional<std::uint32_t> remap_to;
    std::uint32_t plane = 0;
};

struct Remap {
    std::uint32_t channel = 0, ce = 0, plane = 0, unit = 0, to = 0;
};

struct UartLogDescription {
    bool present = false;
    bool in_layout = true;  // at the addresses of the DRAM layout record, else at the fixed ones
    std::uint32_t size = 8192;
    bool wrapped = true;
    std::vector<std::string> lines;  // default: a boot and garbage-collection log
};

struct SpiDescription {
    bool present = false;
    std::string tag = "VTK38V00-002";
};

struct DriveDescription {
    std::string model = "K38";
    char build = '1';
    std::string revision = "45";
    std::string fw_variant = "00";
    std::string smart_code = "1100";
    std::string product;  // IDENTIFY model string
    std::string serial;
    std::string firmware;  // IDENTIFY firmware revision
    std::string loader_model;
    std::uint16_t rotation = 1;
    std::optional<std::uint64_t> capacity_sectors;

    FlashGeometry flash;
    std::uint32_t channels = 4;
    std::uint32_t banks = 2;
    std::uint8_t ecc_mode = 3;
    std::uint8_t io_drive_current = 3;
    std::uint16_t reserved_percent10 = 70;
    std::uint8_t defect_percent10 = 20;
    std::uint8_t wear_level_freq = 8;
    std::vector<std::uint32_t> features = {4, 5};
    std::uint8_t table_flags = 0;
    bool config_bit5 = false;
    std::uint8_t loader_entries = 1;
    std::vector<std::uint16_t> system_blocks = {16, 17, 40, 41};
    std::vector<std::uint32_t> stale_system_blocks;  // indexes 0-3 whose flash copy is erased
    std::vector<std::uint16_t> later_bad_units = {0x30, 0x31};

    std::vector<FactoryBad> factory_bad;
    std::vector<EarlyBad> early_bad;
    std::vector<LaterBad> later_bad;
    std::vector<Remap> remaps;

    std::uint32_t wear_average = 120;
    std::uint32_t wear_spread = 40;
    std::uint32_t seed = 1;

    SmartModel smart;
    UartLogDescription uart_log;
    SpiDescription spi;

    // Bridge side (bus "usb" or "sbp2").
    std::string bridge_tag;
    std::optional<bool> bridge_passes_dma_carrier;
    std::string bridge_vendor = "Vantrel ";
    std::string bridge_product = "USB to SATA";
};

// Whether a drive object uses any of the description keys.
bool HasDescription(const nlohmann::json& drive);
// The description keys a drive object may carry besides the raw ones.
const std::vector<std::string>& DescriptionKeys();
// Reads the description keys of a drive object (`key` names it in errors); throws BenchError.
DriveDescription ReadDescription(const nlohmann::json& drive, const std::string& key,
                                 std::size_t index);

}  // namespace vt::sim
