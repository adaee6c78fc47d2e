#include "sim/command_log.h"

#include "sim/bytes.h"

namespace vt::sim {
namespace {

std::string BlockText(const std::array<std::uint8_t, 16>& block) {
    return "[" + HexBytes(block, " ") + "]";
}

std::string DataText(const LoggedCommand& command) {
    switch (command.direction) {
        case Direction::None:
            return "no data";
        case Direction::In:
            return "in " + std::to_string(command.sectors) + " sectors";
        case Direction::Out:
            return "out " + std::to_string(command.sectors) + " sectors";
    }
    return "";
}

}  // namespace

const char* VendorCommandName(std::uint8_t code, Direction direction) {
    switch (code) {
        case 0x00:
            return "ReadBadBlockTable";
        case 0x01:
            return "ReadEraseCount";
        case 0x04:
            return "ReadSystemPage";
        case 0x05:
            return direction == Direction::Out ? "ResetSmart" : "ReadSmartUsb";
        case 0x0B:
            return "ReadSpiFlash";
        case 0x20:
            return "ReadDramLayout";
        case 0x82:
            return "JumpToPRAM";
        case 0x83:
            return "SwitchMode";
        case 0x84:
            return "ReadRegister";
        case 0x85:
            return "WriteRegister";
        case 0x86:
            return "ReadMemory";
        case 0x87:
            return "WriteMemory";
        case 0x89:
            return "ReadFlashPage";
        default:
            return "";
    }
}

std::string LoggedCommand::ToString() const {
    std::string text;
    switch (kind) {
        case CommandKind::Ata:
            text = "ata " + HexByte(opcode) + "h features=" + HexByte(features) +
                   " count=" + HexByte(count) + " lba=" + HexByte(lba_high) + ":" +
                   HexByte(lba_mid) + ":" + HexByte(lba_low) + " device=" + HexByte(device) + " " +
                   DataText(*this);
            break;
        case CommandKind::Scsi:
            text = "scsi " + HexByte(opcode) + "h " + DataText(*this) + " (" +
                   std::to_string(bytes) + " bytes) " + BlockText(block);
            break;
        case CommandKind::VendorDirect:
        case CommandKind::VendorCarrier:
            text = std::string(kind == CommandKind::VendorDirect ? "vendor-direct "
                                                                 : "vendor-carrier ") +
                   HexByte(sub_command) + "h " + VendorCommandName(sub_command, direction) + " " +
                   DataText(*this) + " " + BlockText(block);
            break;
    }
    if (!fault.empty()) text += " <" + fault + ">";
    return text;
}

}  // namespace vt::sim
