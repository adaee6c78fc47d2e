#pragma once
// Which USB bridge a drive sits behind, from the tag in its INQUIRY answer.

#include <array>
#include <cstdint>

namespace vt {

inline constexpr int kBridgeNone = 0;
inline constexpr int kBridgePio = 1;     // carries vendor traffic with the PIO opcodes
inline constexpr int kBridgeOlder = 10;  // takes vendor command blocks itself; listed only

// The kind for a tag (INQUIRY bytes 36-39); the first matching row of the table decides.
int BridgeKindOfTag(const std::array<std::uint8_t, 4>& tag);
// Sends INQUIRY (the entry must have DirectVendorCdb set) and maps its tag. 0 on no answer.
int IdentifyBridge(unsigned device);
bool IsSupportedBridge(int kind);

}  // namespace vt
