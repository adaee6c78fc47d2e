#include "vendor/catalogue.h"

#include <algorithm>
#include <array>

#include "access/ata_passthrough.h"
#include "access/device_tables.h"
#include "access/dispatch.h"
#include "vendor/carrier.h"
#include "vendor/command_blocks.h"

namespace vt {
namespace {

constexpr int kOk = 1;
constexpr int kFail = 2;

bool IsDirect(unsigned device) {
    return EntryOf(device).DirectVendorCdb != 0;
}

int Result(bool ok) {
    return ok ? kOk : kFail;
}

int SendVendor(unsigned device, bool data_in, const VendorBlock& block,
               std::span<std::uint8_t> data, unsigned sectors) {
    return Result(VC_SendVendorCmd(device, data_in, block, data, sectors));
}

int SendVendorNoData(unsigned device, const VendorBlock& block) {
    return SendVendor(device, false, block, {}, 0);
}

// A standard command block (ATA or SCSI) straight to the dispatch.
template <std::size_t N>
int SendBlock(unsigned device, bool data_in, const std::array<std::uint8_t, N>& block,
              std::span<std::uint8_t> data, std::size_t length) {
    if (length > data.size()) return kFail;
    return Result(DispatchCommand(device, data_in, block, data, static_cast<int>(length)) == 1);
}

std::size_t Bytes(unsigned sectors) {
    return std::size_t{sectors} * kSectorSize;
}

VendorBlock ChannelBankBlock(unsigned device, std::uint8_t code, std::uint8_t channel,
                             std::uint8_t bank, std::uint32_t value) {
    auto block = MakeVendorBlock(device, code);
    block[3] = channel;
    block[4] = bank;
    PutBigEndian32(block, 12, value);
    return block;
}

AtaBlock SmartBlock(std::uint8_t protocol, std::uint8_t transfer, std::uint8_t feature,
                    std::uint8_t count) {
    AtaRegistersIn regs;
    regs.features = feature;
    regs.count = count;
    regs.lba_mid = 0x4F;
    regs.lba_high = 0xC2;
    regs.device = 0;
    regs.command = 0xB0;
    return MakeAtaBlock(protocol, transfer, regs);
}

// READ(10) / WRITE(10) for a bridge that takes SCSI commands itself.
AtaBlock Rw10Block(std::uint8_t opcode, std::uint32_t lba, unsigned sectors) {
    AtaBlock cdb{};
    cdb[0] = opcode;
    for (std::size_t i = 0; i < 4; ++i) cdb[2 + i] = static_cast<std::uint8_t>(lba >> (24 - 8 * i));
    cdb[7] = static_cast<std::uint8_t>(sectors >> 8);
    cdb[8] = static_cast<std::uint8_t>(sectors);
    return cdb;
}

// READ(16) / WRITE(16): a bridge's form for LBAs past 32 bits.
std::array<std::uint8_t, 16> Rw16Block(std::uint8_t opcode, std::uint64_t lba, unsigned sectors) {
    std::array<std::uint8_t, 16> cdb{};
    cdb[0] = opcode;
    for (std::size_t i = 0; i < 8; ++i) cdb[2 + i] = static_cast<std::uint8_t>(lba >> (56 - 8 * i));
    for (std::size_t i = 0; i < 4; ++i)
        cdb[10 + i] = static_cast<std::uint8_t>(sectors >> (24 - 8 * i));
    return cdb;
}

AtaBlock DmaBlock(std::uint8_t protocol, std::uint8_t transfer, std::uint8_t command,
                  std::uint32_t lba, unsigned sectors) {
    AtaRegistersIn regs;
    regs.count = static_cast<std::uint8_t>(sectors);
    regs.lba_low = static_cast<std::uint8_t>(lba);
    regs.lba_mid = static_cast<std::uint8_t>(lba >> 8);
    regs.lba_high = static_cast<std::uint8_t>(lba >> 16);
    regs.device = static_cast<std::uint8_t>(0xE0 + ((lba >> 24) & 0x0F));
    regs.command = command;
    return MakeAtaBlock(protocol, transfer, regs);
}

}  // namespace

VendorBlock MakeVendorBlock(unsigned device, std::uint8_t sub_command) {
    VendorBlock block{};
    block[0] = kVendorBlockMarker;
    block[1] = IsDirect(device) ? kRouteDirect : kRouteCarrier;
    block[2] = sub_command;
    return block;
}

int VC_ReadBadBlockTable(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                         std::uint8_t channel, std::uint8_t bank, std::uint32_t value) {
    const auto block = ChannelBankBlock(device, subcmd::ReadBadBlockTable, channel, bank, value);
    return SendVendor(device, true, block, buffer, sectors);
}

int VC_ReadEraseCount(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                      std::uint8_t channel, std::uint8_t bank, std::uint32_t value) {
    const auto block = ChannelBankBlock(device, subcmd::ReadEraseCount, channel, bank, value);
    return SendVendor(device, true, block, buffer, sectors);
}

int VC_ReadSystemPage(unsigned device, std::uint8_t channel, std::uint8_t bank,
                      std::uint16_t block_unit, std::uint16_t page, std::uint8_t ecc_option,
                      std::uint8_t layout_option, std::span<std::uint8_t> buffer, unsigned sectors,
                      std::uint32_t byte_offset) {
    auto block = ChannelBankBlock(device, subcmd::ReadSystemPage, channel, bank, byte_offset);
    PutBigEndian16(block, 5, block_unit);
    PutBigEndian16(block, 7, page);
    block[9] = ecc_option;
    block[10] = layout_option;
    return SendVendor(device, true, block, buffer, sectors);
}

int VC_ReadFlashPage(unsigned device, std::uint8_t channel, std::uint8_t bank,
                     std::uint16_t block_no, std::uint16_t page, std::uint8_t ecc_option,
                     std::uint8_t layout_option, std::span<std::uint8_t> buffer, unsigned sectors,
                     std::uint8_t sectors_per_page, std::uint32_t byte_offset) {
    auto block = ChannelBankBlock(device, subcmd::ReadFlashPage, channel, bank, byte_offset);
    PutBigEndian16(block, 5, block_no);
    PutBigEndian16(block, 7, page);
    block[9] = ecc_option;
    block[10] = layout_option;
    block[11] = sectors_per_page;
    return SendVendor(device, true, block, buffer, sectors);
}

int VC_ReadSmartUsb(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors) {
    // Only a direct bridge knows this form; on the carrier path code 05h is the SMART reset.
    if (!IsDirect(device)) return kFail;
    return SendVendor(device, true, MakeVendorBlock(device, subcmd::ReadSmartUsb), buffer, sectors);
}

int VC_ResetSmart(unsigned device, std::uint8_t selector, std::uint32_t value,
                  std::span<std::uint8_t> buffer, unsigned sectors) {
    if (IsDirect(device) || buffer.size() < 12 || Bytes(sectors) > buffer.size()) return kFail;
    auto block = MakeVendorBlock(device, subcmd::ResetSmart);
    block[3] = selector;
    for (std::size_t i = 0; i < 4; ++i)
        block[4 + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    // The firmware takes the request again from the data sector itself.
    std::copy_n(block.begin(), 12, buffer.begin());
    return SendVendor(device, false, block, buffer, sectors);
}

int VC_ReadSpiFlash(unsigned device, std::span<std::uint8_t> buffer, std::uint32_t address,
                    std::uint32_t length, unsigned sectors) {
    if (IsDirect(device)) return kFail;
    auto block = MakeVendorBlock(device, subcmd::ReadSpiFlash);
    for (std::size_t i = 0; i < 4; ++i) {
        block[3 + i] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
        block[7 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    }
    return SendVendor(device, true, block, buffer, sectors);
}

int VC_ReadDramLayout(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors) {
    if (IsDirect(device)) return kFail;
    return SendVendor(device, true, MakeVendorBlock(device, subcmd::ReadDramLayout), buffer,
                      sectors);
}

int VC_JumpToPRAM(unsigned device) {
    return SendVendorNoData(device, MakeVendorBlock(device, subcmd::JumpToPRAM));
}

int VC_SwitchMode(unsigned device, std::uint8_t mode) {
    auto block = MakeVendorBlock(device, subcmd::SwitchMode);
    block[3] = mode;
    return SendVendorNoData(device, block);
}

int VC_ReadRegister(unsigned device, std::uint32_t address, std::uint8_t& value) {
    auto block = MakeVendorBlock(device, subcmd::ReadRegister);
    PutBigEndian32(block, 3, address);
    std::array<std::uint8_t, kSectorSize> answer{};
    if (!VC_SendVendorCmd(device, true, block, answer, 1)) return kFail;
    if (IsDirect(device)) {
        value = answer[0];
        return kOk;
    }
    // On the carrier the firmware marks a register answer with E5h in front of the value.
    if (answer[0] != 0xE5) return 3;
    value = answer[1];
    return kOk;
}

int VC_WriteRegister(unsigned device, std::uint32_t address, std::uint8_t value) {
    auto block = MakeVendorBlock(device, subcmd::WriteRegister);
    PutBigEndian32(block, 3, address);
    block[7] = value;
    return SendVendorNoData(device, block);
}

int VC_ReadMemory(unsigned device, std::uint8_t space, std::uint32_t address,
                  std::span<std::uint8_t> buffer, unsigned sectors) {
    auto block = MakeVendorBlock(device, subcmd::ReadMemory);
    block[3] = space;
    PutBigEndian32(block, 4, address);
    return SendVendor(device, true, block, buffer, sectors);
}

int VC_WriteMemory(unsigned device, std::uint8_t space, std::uint32_t address,
                   std::span<std::uint8_t> buffer, unsigned sectors) {
    auto block = MakeVendorBlock(device, subcmd::WriteMemory);
    block[3] = space;
    PutBigEndian32(block, 4, address);
    return SendVendor(device, false, block, buffer, sectors);
}

AtaBlock IdentifyBlock(unsigned sectors) {
    AtaRegistersIn regs;
    regs.count = static_cast<std::uint8_t>(sectors);
    regs.device = 0xE0;
    regs.command = 0xEC;
    return MakeAtaBlock(kProtoPioIn, kTransferIn, regs);
}

int VC_Identify(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors) {
    if (IsDirect(device)) return kFail;
    return SendBlock(device, true, IdentifyBlock(sectors), buffer, Bytes(sectors));
}

int VC_SetFeatures(unsigned device, std::uint8_t feature, std::uint32_t value) {
    if (IsDirect(device)) return kOk;
    AtaRegistersIn regs;
    regs.features = feature;
    regs.count = static_cast<std::uint8_t>(value);
    regs.lba_low = static_cast<std::uint8_t>(value >> 8);
    regs.lba_mid = static_cast<std::uint8_t>(value >> 16);
    regs.lba_high = static_cast<std::uint8_t>(value >> 24);
    regs.device = 0xE0;
    regs.command = 0xEF;
    return SendBlock(device, false, MakeAtaBlock(kProtoNoData, kTransferNone, regs), {}, 0);
}

namespace {

// The short forms while the whole run lies below their reach (READ DMA and WRITE DMA: 28 bits,
// READ(10) and WRITE(10): 32 bits), the 48-bit or 64-bit forms past it. A run no command can
// address is refused with nothing sent rather than written elsewhere.
int TransferSectors(unsigned device, bool read, std::span<std::uint8_t> buffer, unsigned sectors,
                    std::uint64_t lba) {
    const std::uint64_t end = lba + sectors;
    if (sectors == 0 || sectors > 0xFFFF || end < lba) return kFail;
    if (IsDirect(device)) {
        const std::uint8_t opcode = read ? 0x28 : 0x2A;
        if (end <= kLba32End) {
            return SendBlock(device, read,
                             Rw10Block(opcode, static_cast<std::uint32_t>(lba), sectors), buffer,
                             Bytes(sectors));
        }
        return SendBlock(device, read, Rw16Block(read ? 0x88 : 0x8A, lba, sectors), buffer,
                         Bytes(sectors));
    }
    if (end <= kLba28End && sectors <= 256) {
        const auto block = read ? DmaBlock(kProtoDmaIn, kTransferIn, 0xC8,
                                           static_cast<std::uint32_t>(lba), sectors)
                                : DmaBlock(kProtoDmaOut, kTransferOut, 0xCA,
                                           static_cast<std::uint32_t>(lba), sectors);
        return SendBlock(device, read, block, buffer, Bytes(sectors));
    }
    if (end > kLba48End) return kFail;
    const auto block =
        BuildAtaPassThrough16Ext(read ? 0x25 : 0x35, lba, static_cast<std::uint16_t>(sectors),
                                 read ? platform::Direction::In : platform::Direction::Out);
    return SendBlock(device, read, block, buffer, Bytes(sectors));
}

}  // namespace

int VC_ReadSectors(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                   std::uint64_t lba) {
    return TransferSectors(device, true, buffer, sectors, lba);
}

int VC_WriteSectors(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                    std::uint64_t lba) {
    return TransferSectors(device, false, buffer, sectors, lba);
}

int VC_ReadCapacity(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors) {
    if (!IsDirect(device)) return kFail;
    AtaBlock cdb{};
    cdb[0] = 0x25;
    return SendBlock(device, true, cdb, buffer, Bytes(sectors));
}

int VC_ReadCapacity16(unsigned device, std::span<std::uint8_t> buffer) {
    if (!IsDirect(device)) return kFail;
    constexpr std::uint8_t kAnswerLength = 32;
    std::array<std::uint8_t, 16> cdb{};
    cdb[0] = 0x9E;  // SERVICE ACTION IN(16)
    cdb[1] = 0x10;  // READ CAPACITY(16)
    cdb[13] = kAnswerLength;
    return SendBlock(device, true, cdb, buffer, kAnswerLength);
}

int VC_SmartReadData(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors) {
    if (IsDirect(device)) return kFail;
    return SendBlock(device, true,
                     SmartBlock(kProtoPioIn, kTransferIn, 0xD0, static_cast<std::uint8_t>(sectors)),
                     buffer, Bytes(sectors));
}

int VC_SmartReadThresholds(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors) {
    if (IsDirect(device)) return kFail;
    return SendBlock(device, true,
                     SmartBlock(kProtoPioIn, kTransferIn, 0xD1, static_cast<std::uint8_t>(sectors)),
                     buffer, Bytes(sectors));
}

int VC_SmartEnable(unsigned device) {
    if (IsDirect(device)) return kFail;
    return SendBlock(device, false, SmartBlock(kProtoNoData, kTransferNone, 0xD8, 1), {}, 0);
}

int VC_FlushCache(unsigned device) {
    if (IsDirect(device)) return kOk;
    AtaRegistersIn regs;
    regs.device = 0xE0;
    regs.command = 0xE7;
    return SendBlock(device, false, MakeAtaBlock(kProtoNoData, kTransferNone, regs), {}, 0);
}

int VC_Inquiry(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors) {
    (void)sectors;  // INQUIRY always asks for its 40 bytes
    if (!IsDirect(device)) return kOk;
    AtaBlock cdb{};
    cdb[0] = 0x12;
    cdb[4] = 0x28;
    return SendBlock(device, true, cdb, buffer, 40);
}

}  // namespace vt
