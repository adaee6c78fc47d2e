#include "ctrl/device_buffers.h"

namespace vt {

std::array<DeviceBuffers, kMaxDevices> DeviceBufferTable{};

DeviceBuffers& BuffersOf(unsigned device) {
    return DeviceBufferTable[(device & 0xFF) % DeviceBufferTable.size()];
}

void AllocDeviceBuffers(unsigned device) {
    FreeDeviceBuffers();
    DeviceBuffers& b = BuffersOf(device);
    b.DefectTable.assign(kTablePageBufferSize, 0);
    b.EarlyTable.assign(kTablePageBufferSize, 0);
    b.RemapTable.assign(kTablePageBufferSize, 0);
    b.LaterBadTable.assign(kLaterBadTableSize, 0);
}

void FreeDeviceBuffers() {
    for (DeviceBuffers& b : DeviceBufferTable) b = DeviceBuffers{};
}

std::span<std::uint8_t> LaterBadSlot(DeviceBuffers& buffers, std::size_t slot) {
    const std::size_t at = slot * kTablePageBufferSize;
    if (slot >= kLaterBadSlots || buffers.LaterBadTable.size() < at + kTablePageBufferSize)
        return {};
    return std::span(buffers.LaterBadTable).subspan(at, kTablePageBufferSize);
}

}  // namespace vt
