#pragma once
// The two command block layouts every drive command is built from: the 16-byte vendor command
// block and the 12-byte ATA PASS-THROUGH(12) block.

#include <array>
#include <cstdint>

namespace vt {

using VendorBlock = std::array<std::uint8_t, 16>;
using AtaBlock = std::array<std::uint8_t, 12>;

inline constexpr std::uint8_t kVendorBlockMarker = 0xFF;
inline constexpr std::uint8_t kRouteDirect = 0x04;   // the block is the command itself
inline constexpr std::uint8_t kRouteCarrier = 0xE5;  // the block rides in a command sector

// ATA PASS-THROUGH(12) protocol and transfer bytes.
inline constexpr std::uint8_t kProtoNoData = 0x06;
inline constexpr std::uint8_t kProtoPioIn = 0x08;
inline constexpr std::uint8_t kProtoPioOut = 0x0A;
inline constexpr std::uint8_t kProtoDmaIn = 0x14;
inline constexpr std::uint8_t kProtoDmaOut = 0x16;
inline constexpr std::uint8_t kTransferNone = 0x00;
inline constexpr std::uint8_t kTransferIn = 0x0B;
inline constexpr std::uint8_t kTransferOut = 0x03;

struct AtaRegistersIn {
    std::uint8_t features = 0;
    std::uint8_t count = 0;
    std::uint8_t lba_low = 0;
    std::uint8_t lba_mid = 0;
    std::uint8_t lba_high = 0;
    std::uint8_t device = 0;
    std::uint8_t command = 0;
};

inline AtaBlock MakeAtaBlock(std::uint8_t protocol, std::uint8_t transfer,
                             const AtaRegistersIn& r) {
    return {0xA1,      protocol,   transfer, r.features, r.count, r.lba_low,
            r.lba_mid, r.lba_high, r.device, r.command,  0,       0};
}

// A vendor block with its marker, the route for the device and the sub-command; parameters are
// filled by the caller, most significant byte first.
VendorBlock MakeVendorBlock(unsigned device, std::uint8_t sub_command);

inline void PutBigEndian16(VendorBlock& block, std::size_t at, std::uint16_t value) {
    block[at] = static_cast<std::uint8_t>(value >> 8);
    block[at + 1] = static_cast<std::uint8_t>(value);
}

inline void PutBigEndian32(VendorBlock& block, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        block[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

}  // namespace vt
