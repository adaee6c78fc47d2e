#include "ctrl/device_buffers.h"

namespace vt {

std::array<DeviceBuffers, kMaxDevices> DeviceBufferTable{};

DeviceBuffers& BuffersOf(unsigned device) {
    return DeviceBufferTable[(device & 0xFF) % DeviceBufferTable.size()];
}

void AllocDeviceBuffers(unsigned device) {
    FreeDeviceBuffers();
    BuffersOf(device).held_ = true;
}

void FreeDeviceBuffers() {
    for (DeviceBuffers& b : DeviceBufferTable) b = DeviceBuffers{};
}

std::span<std::uint8_t> DeviceBuffers::Table(std::vector<std::uint8_t>& table) {
    if (!held_) return {};
    if (table.empty()) table.assign(kTablePageBufferSize, 0);
    return table;
}

std::span<std::uint8_t> DeviceBuffers::LaterBadSlot(std::size_t slot) {
    if (slot >= kLaterBadSlots) return {};
    return Table(later_bad_[slot]);
}

std::size_t DeviceBuffers::BytesInUse() const {
    std::size_t bytes = defect_.size() + early_.size() + remap_.size();
    for (const auto& slot : later_bad_) bytes += slot.size();
    return bytes;
}

}  // namespace vt
