#pragma once
// ATA pass-through for drives on an IDE/SATA port: one ATA command per call, handed to the backend
// as an ATA request, so the drive's register file comes back. The commands are 28-bit ones given
// as a task file, and the 48-bit reads and writes of user sectors past the 28-bit range, given as
// their whole ATA PASS-THROUGH(16) block.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "platform/device_request.h"

namespace vt {

// FEATURES/ERROR, SECTOR COUNT, LBA LOW, LBA MID, LBA HIGH, DEVICE, COMMAND/STATUS, 0.
using platform::TaskFile;

inline constexpr int kMaxAtaTransfer = 65536;
inline constexpr std::uint8_t kDmaReadOpcode = 0x86;
inline constexpr std::uint8_t kDmaWriteOpcode = 0x88;

// Whether a command runs with the DMA protocol: the carrier's 86h (in) and 88h (out), READ DMA
// (C8h) and WRITE DMA (CAh), and their 48-bit forms (25h, 35h).
bool IsDmaCommand(std::uint8_t command, platform::Direction direction);

// 1: completed with ERR clear; 0: the device did not open or ERR was set; -1: bad length (nothing
// sent) or the request failed. The task file holds the registers after the command.
// `outcome`, when given, receives a description of how the request ended (for diagnostics).
int ReadATACommandWithTimeOutValue(const std::string& path, TaskFile& task_file,
                                   std::span<std::uint8_t> data, int length, int timeout_seconds,
                                   std::string* outcome = nullptr);
int WriteATACommandWithTimeOutValue(const std::string& path, TaskFile& task_file,
                                    std::span<const std::uint8_t> data, int length,
                                    int timeout_seconds, std::string* outcome = nullptr);

// A 48-bit command moving `sectors` (1 to 65535) at a 48-bit LBA (READ DMA EXT, WRITE DMA EXT):
// ATA PASS-THROUGH(16) with EXTEND, SECTOR COUNT and LBA in full, DEVICE 40h.
using AtaBlock48 = std::array<std::uint8_t, 16>;
AtaBlock48 BuildAtaPassThrough16Ext(std::uint8_t command, std::uint64_t lba, std::uint16_t sectors,
                                    platform::Direction direction);

// The task file an ATA command block carries (bytes 3-9).
TaskFile TaskFileFromBlock(std::span<const std::uint8_t, 12> block);

// Takes the task file from a 12-byte ATA command block (bytes 3-9); a 16-byte ATA
// PASS-THROUGH(16) block (a 48-bit command) goes out as it is. 1 success; -1 empty path or
// transport -1; -2 transport 0; 0 the command took longer than the time-out.
int SendAtaCommand(const std::string& path, bool data_in, std::span<const std::uint8_t> block,
                   std::span<std::uint8_t> data, int length, int timeout_seconds);

}  // namespace vt
