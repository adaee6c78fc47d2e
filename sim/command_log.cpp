#include "sim/command_log.h"

#include <cstdio>

namespace vt::sim {
namespace {

std::string Hex(std::uint8_t value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

std::string BlockText(const std::array<std::uint8_t, 16>& block) {
    std::string text = "[";
    for (std::size_t i = 0; i < block.size(); ++i) text += (i ? " " : "") + Hex(block[i]);
    return text + "]";
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
            text = "ata " + Hex(opcode) + "h features=" + Hex(features) + " count=" + Hex(count) +
                   " lba=" + Hex(lba_high) + ":" + Hex(lba_mid) + ":" + Hex(lba_low) +
                   " device=" + Hex(device) + " " + DataText(*this);
            break;
        case CommandKind::Scsi:
            text = "scsi " + Hex(opcode) + "h " + DataText(*this) + " (" + std::to_string(bytes) +
                   " bytes) " + BlockText(block);
            break;
        case CommandKind::VendorDirect:
        case CommandKind::VendorCarrier:
            text = std::string(kind == CommandKind::VendorDirect ? "vendor-direct "
                                                                 : "vendor-carrier ") +
                   Hex(sub_command) + "h " + VendorCommandName(sub_command, direction) + " " +
                   DataText(*this) + " " + BlockText(block);
            break;
    }
    if (!fault.empty()) text += " <" + fault + ">";
    return text;
}

}  // namespace vt::sim
