#pragma once
// The vendor command frame: how a vendor command block reaches the controller (as a command of its
// own on a bridge that understands it, or inside a command sector written to the carrier address),
// and the unlock handshake.

#include <cstdint>
#include <span>

#include "vendor/command_blocks.h"

namespace vt {

// Selects the carrier opcodes for every device; set by the device scan.
extern std::uint8_t CarrierMode;

struct CarrierOpcodes {
    std::uint8_t protocol_out;
    std::uint8_t protocol_in;
    std::uint8_t write_opcode;
    std::uint8_t read_opcode;
};
// 2: DMA 88h/86h; 1: PIO 8Fh/8Ah; 0 (and anything else): C5h/C4h.
CarrierOpcodes CarrierOpcodesFor(std::uint8_t mode);

inline constexpr std::uint8_t kCarrierLbaMid = 0x34;
inline constexpr std::uint8_t kCarrierLbaHigh = 0x12;
inline constexpr std::uint8_t kCarrierCommandLba = 0xFF;  // command sector and status sector
inline constexpr unsigned kMaxCarrierSectors = 128;
inline constexpr unsigned kSectorSize = 512;

// Carrier data-out / data-in of sectors x 512 bytes. 1 or 2.
int VC_SATA_WriteCmd(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                     std::uint8_t lba_low);
int VC_SATA_ReadCmd(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                    std::uint8_t lba_low);

// One vendor command block with an optional data phase of sectors x 512 bytes.
bool VC_SendVendorCmd(unsigned device, bool data_in, const VendorBlock& block,
                      std::span<std::uint8_t> data, unsigned sectors);

// SET FEATURES DCh with the unlock code 56h in SECTOR COUNT.
AtaBlock UnlockBlock();
// Bytes 0-3 of the status sector while vendor commands are unlocked.
bool IsUnlockedSignature(std::span<const std::uint8_t> status);

bool VA_ReadVendorStatus(unsigned device, std::span<std::uint8_t> buffer);
bool VA_UnlockVendorCmd(unsigned device);
bool VA_EnableVendorCmd(unsigned device, std::uint8_t mode);
// True for a non-rotating drive whose firmware answers with the vendor status signature.
bool CheckVendorSignature(unsigned device);

}  // namespace vt
