#include "vendor/loader_mode.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "access/ata_strings.h"
#include "access/debug_msg.h"
#include "access/device_tables.h"
#include "access/raw_dump.h"
#include "platform/backend.h"
#include "vendor/carrier.h"
#include "vendor/catalogue.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

constexpr char kUsbLoader[] = "Generic FCR USB Loader ";                 // 23 characters
constexpr char kSataLoader[] = "Generic FCR SATA Loader Loader Device";  // 36 characters
constexpr char kVtfkLoader[] = "Vantrel VTFK3X SATA SSD Loader Device";  // 36 characters

bool StartsWith(std::span<const std::uint8_t> bytes, const char* text, std::size_t length) {
    return bytes.size() >= length && std::memcmp(bytes.data(), text, length) == 0;
}

bool StatusStartsUnlocked(std::span<const std::uint8_t> status) {
    return status[0] == 0xE5 && status[1] == 0x56 && status[2] == 0x54;
}

}  // namespace

bool IsUsbLoaderInquiry(std::span<const std::uint8_t> inquiry) {
    return inquiry.size() >= 8 && StartsWith(inquiry.subspan(8), kUsbLoader, 23);
}

bool IsLoaderIdentify(std::span<const std::uint8_t> identify) {
    if (identify.size() < 94) return false;
    std::array<std::uint8_t, 40> model{};
    std::copy_n(identify.begin() + 54, model.size(), model.begin());
    SwapBytePairs(model);
    return StartsWith(model, kSataLoader, 36) || StartsWith(model, kVtfkLoader, 36);
}

bool IsLoaderMode(unsigned device) {
    if (EntryOf(device).DirectVendorCdb) {
        std::array<std::uint8_t, 40> inquiry{};
        return VC_Inquiry(device, inquiry, 1) == 1 && IsUsbLoaderInquiry(inquiry);
    }
    std::array<std::uint8_t, kSectorSize> identify{};
    return VA_Identify(device, identify, 1) && IsLoaderIdentify(identify);
}

void EnterLoaderMode(unsigned device) {
    VA_EnableVendorCmd(device, 0);
}

bool ExitLoaderMode(unsigned device, std::span<std::uint8_t> buffer) {
    if (!IsLoaderMode(device)) return true;
    std::uint8_t loader_kind = 0;
    VA_FindLoaderInfo(device, buffer, loader_kind);
    if (EntryOf(device).DirectVendorCdb) {
        VA_EnableVendorCmd(device, loader_kind == 2 ? 2 : 1);
        // The bridge re-enumerates its drive; it answers again once the firmware is up.
        std::array<std::uint8_t, 40> inquiry{};
        for (int attempt = 0; attempt < 11 && VC_Inquiry(device, inquiry, 1) != 1; ++attempt) {
            platform::SleepMs(1000);
        }
        return true;
    }
    VA_EnableVendorCmd(device, 1);
    for (int waits = 0; waits < 3 && IsLoaderMode(device); ++waits) platform::SleepMs(3000);
    std::array<std::uint8_t, kSectorSize> status{};
    for (int attempt = 0; attempt < 11; ++attempt) {
        VA_UnlockVendorCmd(device);
        if (VA_ReadVendorStatus(device, status) && StatusStartsUnlocked(status)) return true;
        platform::SleepMs(1000);
    }
    return false;
}

bool VA_JumpToPRAM(unsigned device) {
    if (VC_JumpToPRAM(device) != 1) {
        DebugMsg("FAILED(VA_JumpToPRAM)\r\n");
        return false;
    }
    platform::SleepMs(500);
    VA_UnlockVendorCmd(device);
    return true;
}

bool VA_WriteCodeToMem(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                       std::uint32_t address) {
    if (VC_WriteMemory(device, 3, address | kProgramRamBit, buffer, sectors) != 1) {
        DebugMsg("FAILED(VA_WriteCodeToMem)\r\n");
        return false;
    }
    DumpRawFile("11_RCO.raw", buffer.first(std::size_t{sectors} * kSectorSize));
    return true;
}

bool VA_ReadCodeFromMem(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                        std::uint32_t address) {
    if (VC_ReadMemory(device, 3, address | kProgramRamBit, buffer, sectors) != 1) {
        DebugMsg("FAILED(VA_ReadCodeFromMem)\r\n");
        return false;
    }
    DumpRawFile("12_RCI.raw", buffer.first(std::size_t{sectors} * kSectorSize));
    return true;
}

}  // namespace vt
