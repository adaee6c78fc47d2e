#pragma once
// The controller's loader: recognising a drive that runs it, sending a drive there and back, and
// moving code into program RAM.

#include <cstdint>
#include <span>

namespace vt {

inline constexpr std::uint32_t kProgramRamBit = 0x40000000;

bool IsLoaderMode(unsigned device);
// The answers IsLoaderMode judges: the loader's IDENTIFY model, an older bridge's loader INQUIRY.
bool IsLoaderIdentify(std::span<const std::uint8_t> identify);
bool IsUsbLoaderInquiry(std::span<const std::uint8_t> inquiry);
// Mode 0 through the mode switch; the result is not reported.
void EnterLoaderMode(unsigned device);
// True when the drive is not in its loader or has come back to its firmware. The buffer is the
// work buffer for the loader block scan (a page of every channel).
bool ExitLoaderMode(unsigned device, std::span<std::uint8_t> buffer);

bool VA_JumpToPRAM(unsigned device);
bool VA_WriteCodeToMem(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                       std::uint32_t address);
bool VA_ReadCodeFromMem(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                        std::uint32_t address);

}  // namespace vt
