#include "sim/vendor_commands.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "sim/bytes.h"

namespace vt::sim {
namespace {

enum Code : std::uint8_t {
    kReadBadBlockTable = 0x00,
    kReadEraseCount = 0x01,
    kReadSystemPage = 0x04,
    kSmartSubCommand = 0x05,  // the bridge's SMART read on the direct route, a reset on the carrier
    kReadSpiFlash = 0x0B,
    kReadDramLayout = 0x20,
    kJumpToPram = 0x82,
    kSwitchMode = 0x83,
    kReadRegister = 0x84,
    kWriteRegister = 0x85,
    kReadMemory = 0x86,
    kWriteMemory = 0x87,
    kReadFlashPage = 0x89,
};

enum SwitchModeValue : std::uint8_t {
    kEnterLoader = 0,
    kStartFirmware = 1,
    kStartFirmwareDirect = 2,
    kPrepareDownload = 10,
};

// Reset selectors of the SMART counters.
constexpr std::uint8_t kResetPowerCycles = 1;
constexpr std::uint8_t kResetPowerLoss = 2;
constexpr std::uint8_t kResetLifeTimestamp = 3;

using Block = std::array<std::uint8_t, 16>;

template <typename Map, typename Key>
void AnswerFrom(const Map& map, const Key& key, std::span<std::uint8_t> data) {
    const auto it = map.find(key);
    if (it == map.end()) {
        std::fill(data.begin(), data.end(), std::uint8_t{0});
    } else {
        CopyPadded(it->second, data);
    }
}

// A restart of the controller: whatever was unlocked or half sent is forgotten.
void Restart(DriveState& state, ControllerMode mode) {
    state.mode = mode;
    state.unlocked = false;
    state.pending.reset();
}

bool SwitchMode(DriveState& state, std::uint8_t mode) {
    switch (mode) {
        case kEnterLoader:
            Restart(state, ControllerMode::Loader);
            state.download_armed = false;
            return true;
        case kStartFirmware:
        case kStartFirmwareDirect:
            Restart(state, ControllerMode::Firmware);
            state.download_armed = false;
            return true;
        case kPrepareDownload:
            Restart(state, ControllerMode::Loader);
            state.download_armed = true;
            return true;
        default:
            return false;
    }
}

bool ResetSmartCounter(DriveState& state, std::uint8_t selector, std::uint32_t value) {
    switch (selector) {
        case kResetPowerCycles:
            state.counters.power_cycles = value;
            return true;
        case kResetPowerLoss:
            state.counters.power_loss = value;
            return true;
        case kResetLifeTimestamp:
            state.counters.power_on_hours = value;
            return true;
        default:
            return false;
    }
}

bool ReadSpiFlash(const DriveConfig& config, const Block& block, std::span<std::uint8_t> data) {
    if (!config.spi_flash) return false;  // no serial flash fitted
    const std::uint32_t address = Be32(block, 3);
    const std::uint32_t length = Be32(block, 7);
    std::fill(data.begin(), data.end(), std::uint8_t{0});
    const Bytes& flash = *config.spi_flash;
    const std::size_t wanted = std::min<std::size_t>(length, data.size());
    for (std::size_t i = 0; i < wanted; ++i) {
        const std::uint64_t at = std::uint64_t{address} + i;
        if (at >= flash.size()) break;
        data[i] = flash[at];
    }
    return true;
}

}  // namespace

std::optional<Direction> VendorDirection(std::uint8_t code, VendorRoute route) {
    switch (code) {
        case kReadBadBlockTable:
        case kReadEraseCount:
        case kReadSystemPage:
        case kReadRegister:
        case kReadMemory:
        case kReadFlashPage:
            return Direction::In;
        case kSmartSubCommand:
            return route == VendorRoute::Direct ? Direction::In : Direction::Out;
        case kReadSpiFlash:
        case kReadDramLayout:
            if (route == VendorRoute::Direct) return std::nullopt;  // firmware commands only
            return Direction::In;
        case kWriteMemory:
            return Direction::Out;
        case kJumpToPram:
        case kSwitchMode:
        case kWriteRegister:
            return Direction::None;
        default:
            return std::nullopt;
    }
}

bool RunVendorCommand(VirtualDrive& drive, const Block& block, VendorRoute route,
                      std::span<std::uint8_t> data) {
    const DriveConfig& config = drive.Config();
    DriveState& state = drive.State();
    const std::uint8_t code = block[2];
    switch (code) {
        case kReadBadBlockTable:
            AnswerFrom(config.bad_unit_lists,
                       std::pair<std::uint32_t, std::uint32_t>{block[3], block[4]}, data);
            return true;
        case kReadEraseCount:
            AnswerFrom(config.erase_counts,
                       std::pair<std::uint32_t, std::uint32_t>{block[3], block[4]}, data);
            return true;
        case kReadSystemPage: {
            // Byte 3 (the channel) is not used: the image holds the page of every channel.
            const auto key = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>{
                block[4], Be16(block, 5), Be16(block, 7)};
            const auto it = config.system_pages.find(key);
            if (it == config.system_pages.end()) {
                std::fill(data.begin(), data.end(), std::uint8_t{0});
            } else {
                it->second.Read(Be32(block, 12), data);
            }
            return true;
        }
        case kSmartSubCommand:
            if (route == VendorRoute::Direct) {
                CopyPadded(drive.BridgeSmart(), data);
                return true;
            }
            return ResetSmartCounter(state, block[3], Be32(block, 4));
        case kReadSpiFlash:
            return ReadSpiFlash(config, block, data);
        case kReadDramLayout:
            if (!config.dram_layout) return false;
            CopyPadded(*config.dram_layout, data);
            return true;
        case kJumpToPram:
            Restart(state, ControllerMode::Program);
            state.download_armed = false;
            return true;
        case kSwitchMode:
            return SwitchMode(state, block[3]);
        case kReadRegister: {
            const auto it = state.registers.find(Be32(block, 3));
            const std::uint8_t value = it == state.registers.end() ? 0 : it->second;
            // Through a command sector the answer carries the route mark before the value.
            const Bytes answer =
                route == VendorRoute::Carrier ? Bytes{kRouteCarrier, value} : Bytes{value};
            CopyPadded(answer, data);
            return true;
        }
        case kWriteRegister:
            state.registers[Be32(block, 3)] = block[7];
            return true;
        case kReadMemory:
            state.memory[block[3]].Read(Be32(block, 4), data);
            return true;
        case kWriteMemory:
            state.memory[block[3]].Write(Be32(block, 4), data);
            return true;
        case kReadFlashPage:
            // The byte offset in bytes 12-15 does not apply: a page reads from its first byte.
            AnswerFrom(config.flash_pages,
                       std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>{
                           block[3], block[4], Be16(block, 5), Be16(block, 7)},
                       data);
            return true;
        default:
            return false;
    }
}

}  // namespace vt::sim
