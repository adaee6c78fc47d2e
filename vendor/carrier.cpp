#include "vendor/carrier.h"

#include <algorithm>
#include <array>

#include "access/debug_msg.h"
#include "access/device_tables.h"
#include "access/dispatch.h"
#include "platform/backend.h"
#include "vendor/catalogue.h"

namespace vt {

std::uint8_t CarrierMode = 0;

namespace {

constexpr std::uint8_t kSwitchMode = 0x83;
constexpr std::array<std::uint8_t, 4> kUnlockedSignature = {0xE5, 0x56, 0x54, 0x00};

int CarrierTransfer(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                    std::uint8_t lba_low, bool data_in) {
    const auto ops = CarrierOpcodesFor(CarrierMode);
    AtaRegistersIn regs;
    regs.count = static_cast<std::uint8_t>(sectors);
    regs.lba_low = lba_low;
    regs.lba_mid = kCarrierLbaMid;
    regs.lba_high = kCarrierLbaHigh;
    regs.device = 0xE0;
    regs.command = data_in ? ops.read_opcode : ops.write_opcode;
    const auto block = MakeAtaBlock(data_in ? ops.protocol_in : ops.protocol_out,
                                    data_in ? kTransferIn : kTransferOut, regs);
    const std::size_t length = std::size_t{sectors} * kSectorSize;
    // A buffer shorter than the transfer is refused here rather than read or written past.
    if (length > buffer.size()) return -1;
    return DispatchCommand(device, data_in, block, buffer, static_cast<int>(length));
}

}  // namespace

CarrierOpcodes CarrierOpcodesFor(std::uint8_t mode) {
    switch (mode) {
        case 2:
            return {kProtoDmaOut, kProtoDmaIn, 0x88, 0x86};
        case 1:
            return {kProtoPioOut, kProtoPioIn, 0x8F, 0x8A};
        default:
            return {kProtoPioOut, kProtoPioIn, 0xC5, 0xC4};
    }
}

int VC_SATA_WriteCmd(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                     std::uint8_t lba_low) {
    if (CarrierTransfer(device, buffer, sectors, lba_low, false) == 1) return 1;
    DebugMsg("FAILED(VC_SATA_WriteCmd)\r\n");
    return 2;
}

int VC_SATA_ReadCmd(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                    std::uint8_t lba_low) {
    if (CarrierTransfer(device, buffer, sectors, lba_low, true) == 1) return 1;
    DebugMsg("FAILED(VC_SATA_ReadCmd)\r\n");
    return 2;
}

bool VC_SendVendorCmd(unsigned device, bool data_in, const VendorBlock& block,
                      std::span<std::uint8_t> data, unsigned sectors) {
    const std::size_t length = std::size_t{sectors} * kSectorSize;
    if (length > data.size()) return false;
    if (EntryOf(device).DirectVendorCdb) {
        // Only the first 12 bytes reach a bridge: that is the CDB length it takes.
        const std::span<const std::uint8_t> cdb(block.data(), 12);
        return DispatchCommand(device, data_in, cdb, data, static_cast<int>(length)) == 1;
    }
    std::array<std::uint8_t, kSectorSize> command_sector{};
    std::copy(block.begin(), block.end(), command_sector.begin());
    // The command sector and its data phase are one exchange: no other process may come between.
    const platform::DriveLock hold(EntryOf(device).DevicePath);
    int result = VC_SATA_WriteCmd(device, command_sector, 1, kCarrierCommandLba);
    if (result == 1 && sectors != 0) {
        // The data phase is addressed by the sub-command code in LBA LOW.
        result = data_in ? VC_SATA_ReadCmd(device, data, sectors, block[2])
                         : VC_SATA_WriteCmd(device, data, sectors, block[2]);
    }
    return result == 1;
}

bool VA_ReadVendorStatus(unsigned device, std::span<std::uint8_t> buffer) {
    return VC_SATA_ReadCmd(device, buffer, 1, kCarrierCommandLba) == 1;
}

AtaBlock UnlockBlock() {
    AtaRegistersIn regs;
    regs.features = 0xDC;
    regs.count = 0x56;  // the unlock code
    regs.device = 0xE0;
    regs.command = 0xEF;
    return MakeAtaBlock(kProtoNoData, kTransferNone, regs);
}

bool IsUnlockedSignature(std::span<const std::uint8_t> status) {
    return status.size() >= 4 &&
           std::equal(kUnlockedSignature.begin(), kUnlockedSignature.end(), status.begin());
}

bool VA_UnlockVendorCmd(unsigned device) {
    if (EntryOf(device).DirectVendorCdb) return true;
    return DispatchCommand(device, false, UnlockBlock(), {}, 0) == 1;
}

bool VA_EnableVendorCmd(unsigned device, std::uint8_t mode) {
    if (VC_SwitchMode(device, mode) != 1) return false;
    platform::SleepMs(500);
    if (!VA_UnlockVendorCmd(device)) {
        DebugMsg("FAILED(VA_EnableVendorCmd)\r\n");
        return false;
    }
    return true;
}

bool CheckVendorSignature(unsigned device) {
    std::array<std::uint8_t, kSectorSize> sector{};
    if (VC_Identify(device, sector, 1) != 1) return false;
    // Word 217, nominal media rotation rate: 0001h is a non-rotating medium.
    if (sector[434] != 0x01) return false;
    // A wrong signature allows six attempts in all, a failed read only two; one counter for both.
    int failures = 0;
    for (;;) {
        VA_UnlockVendorCmd(device);
        const bool read = VA_ReadVendorStatus(device, sector);
        if (read && IsUnlockedSignature(sector)) return true;
        ++failures;
        platform::SleepMs(200);
        if (failures > (read ? 5 : 1)) return false;
    }
}

}  // namespace vt
