#pragma once
// The vendor sub-commands: what the firmware (and its loader) does with a vendor command block and
// what it answers. The same code serves blocks from command sectors and blocks a bridge takes as
// its own commands.

#include <array>
#include <cstdint>
#include <span>

#include "sim/command_log.h"
#include "sim/virtual_drive.h"

namespace vt::sim {

enum class VendorRoute { Carrier, Direct };

inline constexpr std::uint8_t kVendorMark = 0xFF;
inline constexpr std::uint8_t kRouteDirect = 0x04;
inline constexpr std::uint8_t kRouteCarrier = 0xE5;

// The data direction of a sub-command on a route; nullopt for a code the firmware does not know.
std::optional<Direction> VendorDirection(std::uint8_t code, VendorRoute route);

// Runs a sub-command with its data phase (`data` is empty for commands without data). False when
// the firmware refuses it.
bool RunVendorCommand(VirtualDrive& drive, const std::array<std::uint8_t, 16>& block,
                      VendorRoute route, std::span<std::uint8_t> data);

}  // namespace vt::sim
