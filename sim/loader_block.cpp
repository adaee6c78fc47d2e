#include <algorithm>

#include "sim/drive_model.h"

namespace vt::sim {
namespace {

std::uint16_t Code(std::uint32_t value, std::initializer_list<std::uint32_t> table) {
    std::uint16_t code = 0;
    for (const auto entry : table) {
        if (entry == value) return code;
        ++code;
    }
    return 0;
}

bool UsesV40(const std::string& model) {
    return model == "K35" || model == "K34" || model == "K39";
}

// Firmware information: version text, build character at 6, the two characters at 7-8 that
// choose the bad-unit list entries of a K12, model at 0x24, revision at 0x29, SMART code at 0x30.
void PutFirmwareInfo(const DriveDescription& d, Bytes& block) {
    constexpr std::size_t kFwInfo = 0x300;
    const std::string version =
        "S" + d.model + "-B" + std::string(1, d.build) + d.fw_variant + "." + d.revision;
    PutText(block, kFwInfo, version);
    PutText(block, kFwInfo + 0x24, d.model);
    PutText(block, kFwInfo + 0x29, d.revision);
    PutText(block, kFwInfo + 0x30, d.smart_code);
}

std::uint8_t FeatureBits(const std::vector<std::uint32_t>& features, std::uint32_t first) {
    std::uint8_t bits = 0;
    for (const auto flag : features) {
        if (flag >= first && flag < first + 8)
            bits = static_cast<std::uint8_t>(bits | 1u << (flag - first));
    }
    return bits;
}

}  // namespace

std::uint16_t FlashConfigWord(const FlashGeometry& flash) {
    std::uint16_t word = Code(flash.sectors_per_page, {4, 8, 16, 32});
    word = static_cast<std::uint16_t>(word | Code(flash.pages_per_block, {64, 128, 256, 512}) << 3);
    word = static_cast<std::uint16_t>(
        word | Code(flash.blocks_per_ce, {2048, 4096, 8192, 16384, 1024}) << 6);
    word = static_cast<std::uint16_t>(word | Code(flash.dies_per_ce, {1, 2, 4}) << 9);
    if (flash.mlc) word = static_cast<std::uint16_t>(word | 1u << 11);
    return static_cast<std::uint16_t>(word | flash.vendor << 12);
}

Bytes BuildLoaderBlock(const DriveDescription& d, bool flash_copy) {
    Bytes block(4096, 0);
    PutText(block, 0, UsesV40(d.model) ? "LDBK BLOCKS V40" : "LDBK BLOCKS V50");

    // The loader list: where the loader's own copies live (block, page).
    block[0x230] = d.loader_entries;
    for (std::uint8_t i = 0; i < std::min<std::uint8_t>(d.loader_entries, 8); ++i) {
        PutLe16(block, 0x238 + 4u * i, i);
        PutLe16(block, 0x238 + 4u * i + 2, 0);
    }
    PutText(block, 0x260, d.flash.name);
    for (std::size_t i = 0; i < 48; ++i) {
        PutLe16(block, 0x280 + 2 * i, static_cast<std::uint16_t>(0x1000 + 0x101 * i));
    }
    PutFirmwareInfo(d, block);

    PutLe16(block, 0x500, FlashConfigWord(d.flash));
    block[0x502] = static_cast<std::uint8_t>(0x02 | (d.config_bit5 ? 0x20 : 0));
    block[0x503] = static_cast<std::uint8_t>(d.channels);
    block[0x504] = static_cast<std::uint8_t>(d.banks);
    block[0x505] = d.ecc_mode;
    block[0x506] = d.io_drive_current;
    block[0x507] = 0x11;
    block[0x508] = static_cast<std::uint8_t>(d.reserved_percent10);
    block[0x509] = FeatureBits(d.features, 0);
    block[0x50A] = FeatureBits(d.features, 8);
    block[0x50B] = static_cast<std::uint8_t>(d.banks);
    block[0x50C] = d.table_flags;
    for (std::size_t i = 0; i < 4; ++i) PutLe16(block, 0x510 + 2 * i, d.system_blocks[i]);
    block[0x51A] = static_cast<std::uint8_t>(d.reserved_percent10 >> 8);
    // The memory copy keeps the ECC read threshold where the flash copy keeps the defect rate.
    block[0x520] = flash_copy ? d.defect_percent10 : 30;
    block[0x521] = 36;
    block[0x522] = d.wear_level_freq;
    for (std::size_t i = 0; i < 8; ++i) {
        block[0x528 + i] = static_cast<std::uint8_t>(i < d.banks ? i : 0xFF);
    }
    for (std::size_t i = 0; i < 7; ++i) {
        block[0x540 + i] = static_cast<std::uint8_t>(0x21 + i);
        block[0x548 + i] = static_cast<std::uint8_t>(0x31 + i);
    }
    block[0x547] = 0x41;  // Trim and LBA48
    PutLe16(block, 0x558, 0x0100);
    PutLe16(block, 0x55A, 0);
    PutLe16(block, 0x55C, d.later_bad_units[0]);
    PutLe16(block, 0x55E, d.later_bad_units[1]);
    block[0x562] = 0x05;
    return block;
}

}  // namespace vt::sim
