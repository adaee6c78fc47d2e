#pragma once
// One function per drive command, each building exactly one command block. 1 is success, 2 is
// failure (VC_ReadRegister also returns 3). Buffers are spans; a buffer shorter than the transfer
// it would receive is refused with 2 and nothing is sent.

#include <cstdint>
#include <span>

#include "vendor/command_blocks.h"

namespace vt {

// Vendor sub-commands: code, data, parameter bytes (most significant first), paths.
namespace subcmd {
inline constexpr std::uint8_t ReadBadBlockTable = 0x00;  // in;  3 ch, 4 bank, 12-15 value; both
inline constexpr std::uint8_t ReadEraseCount = 0x01;     // in;  3 ch, 4 bank, 12-15 value; both
inline constexpr std::uint8_t ReadSystemPage = 0x04;     // in;  3 ch, 4 bank, 5-6 unit, 7-8 page,
                                                         //      9 ecc, 10 layout, 12-15 offset
inline constexpr std::uint8_t ReadSmartUsb = 0x05;       // in;  none; direct bridges only
inline constexpr std::uint8_t ResetSmart = 0x05;         // out; 3 selector, 4-7 value; carrier only
inline constexpr std::uint8_t ReadSpiFlash = 0x0B;       // in;  3-6 address, 7-10 length; carrier
inline constexpr std::uint8_t ReadDramLayout = 0x20;     // in;  none; carrier only
inline constexpr std::uint8_t JumpToPRAM = 0x82;         // none
inline constexpr std::uint8_t SwitchMode = 0x83;         // none; 3 mode
inline constexpr std::uint8_t ReadRegister = 0x84;       // in, 1 sector; 3-6 address
inline constexpr std::uint8_t WriteRegister = 0x85;      // none; 3-6 address, 7 value
inline constexpr std::uint8_t ReadMemory = 0x86;         // in;  3 space, 4-7 address
inline constexpr std::uint8_t WriteMemory = 0x87;        // out; 3 space, 4-7 address
inline constexpr std::uint8_t ReadFlashPage = 0x89;      // in;  3 ch, 4 bank, 5-6 block, 7-8 page,
                                                         //      9 ecc, 10 layout, 11 spp,
                                                         //      12-15 offset
}  // namespace subcmd

int VC_ReadBadBlockTable(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                         std::uint8_t channel, std::uint8_t bank, std::uint32_t value);
int VC_ReadEraseCount(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                      std::uint8_t channel, std::uint8_t bank, std::uint32_t value);
int VC_ReadSystemPage(unsigned device, std::uint8_t channel, std::uint8_t bank,
                      std::uint16_t block_unit, std::uint16_t page, std::uint8_t ecc_option,
                      std::uint8_t layout_option, std::span<std::uint8_t> buffer, unsigned sectors,
                      std::uint32_t byte_offset);
int VC_ReadFlashPage(unsigned device, std::uint8_t channel, std::uint8_t bank, std::uint16_t block,
                     std::uint16_t page, std::uint8_t ecc_option, std::uint8_t layout_option,
                     std::span<std::uint8_t> buffer, unsigned sectors,
                     std::uint8_t sectors_per_page, std::uint32_t byte_offset);
// Direct bridges only; on the carrier path refused with 2, nothing sent.
int VC_ReadSmartUsb(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors);
// Carrier only; on a direct bridge refused with 2, nothing sent. Bytes 0-11 of the buffer are
// overwritten with the block itself.
int VC_ResetSmart(unsigned device, std::uint8_t selector, std::uint32_t value,
                  std::span<std::uint8_t> buffer, unsigned sectors);
int VC_ReadSpiFlash(unsigned device, std::span<std::uint8_t> buffer, std::uint32_t address,
                    std::uint32_t length, unsigned sectors);
int VC_ReadDramLayout(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors);
int VC_JumpToPRAM(unsigned device);
int VC_SwitchMode(unsigned device, std::uint8_t mode);
// 3: the carrier answer did not start with E5h; the value is then left alone.
int VC_ReadRegister(unsigned device, std::uint32_t address, std::uint8_t& value);
int VC_WriteRegister(unsigned device, std::uint32_t address, std::uint8_t value);
int VC_ReadMemory(unsigned device, std::uint8_t space, std::uint32_t address,
                  std::span<std::uint8_t> buffer, unsigned sectors);
int VC_WriteMemory(unsigned device, std::uint8_t space, std::uint32_t address,
                   std::span<std::uint8_t> buffer, unsigned sectors);

// Standard commands.
AtaBlock IdentifyBlock(unsigned sectors);
int VC_Identify(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors);
int VC_SetFeatures(unsigned device, std::uint8_t feature, std::uint32_t value);
// Ends of the LBA ranges the command forms reach: a 28-bit ATA command, a 10-byte CDB, a 48-bit
// ATA command.
inline constexpr std::uint64_t kLba28End = std::uint64_t{1} << 28;
inline constexpr std::uint64_t kLba32End = std::uint64_t{1} << 32;
inline constexpr std::uint64_t kLba48End = std::uint64_t{1} << 48;

// READ DMA / WRITE DMA, or READ(10) / WRITE(10) on a direct bridge; for a run past their reach
// the 48-bit READ DMA EXT / WRITE DMA EXT, or READ(16) / WRITE(16). A run no form reaches, or
// of 0 or more than 65535 sectors, is refused with 2 and nothing is sent.
int VC_ReadSectors(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                   std::uint64_t lba);
int VC_WriteSectors(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                    std::uint64_t lba);
int VC_ReadCapacity(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors);
// READ CAPACITY(16), for a bridge whose READ CAPACITY(10) says FFFFFFFFh; 2 on the ATA paths.
int VC_ReadCapacity16(unsigned device, std::span<std::uint8_t> buffer);
int VC_SmartReadData(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors);
int VC_SmartReadThresholds(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors);
int VC_SmartEnable(unsigned device);
int VC_FlushCache(unsigned device);
// Always 40 bytes; on the ATA paths 1 with the buffer untouched.
int VC_Inquiry(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors);

}  // namespace vt
