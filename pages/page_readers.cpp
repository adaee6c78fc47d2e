#include "pages/page_readers.h"

#include <algorithm>
#include <vector>

#include "access/device_tables.h"
#include "ctrl/read_system_info.h"
#include "vendor/catalogue.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

constexpr std::size_t kWorkBufferSize = 128 * 1024;

}  // namespace

std::optional<DeviceInfoModel> ReadDeviceInfo(unsigned device, std::span<std::uint8_t> buffer) {
    if (EntryOf(device).DirectVendorCdb)
        return DeviceInfoModel{std::nullopt, ReadUsbIdentity(device)};
    auto identity = ReadSataIdentity(device, buffer);
    if (!identity) return std::nullopt;
    return DeviceInfoModel{std::move(identity), std::nullopt};
}

SsdInfoModel ReadSsdInfo(unsigned device, const SystemInfoRecord& info) {
    const std::uint64_t sectors = GetCapacitySectors(device);
    return SsdInfoModel{info, CapacityMBOf(sectors), CapacityBytesOf(sectors)};
}

BadBlocksModel ReadBadBlocks(unsigned device, bool remap_relation, BadBlockMarks* marks) {
    std::vector<std::uint8_t> work(kWorkBufferSize);
    BadBlocksModel model;
    model.detail = BuildBadBlockDetail(device, work, remap_relation, marks);
    // The detail read the system information again: the page's geometry is what it read.
    model.channels = SystemInfo.ChannelCount;
    model.banks = SystemInfo.BankCount;
    model.block_mode = SystemInfo.TableFlags & 0x04;
    return model;
}

std::optional<ConfigDumpModel> ReadConfigDump(unsigned device, std::span<std::uint8_t> buffer) {
    if (VC_ReadMemory(device, 3, 0, buffer, 8) != 1) return std::nullopt;
    const std::span<const std::uint8_t> memory = buffer;
    const std::size_t first = std::min<std::size_t>(memory.size(), kConfigDumpFirst);
    const auto shown = memory.subspan(first, std::min(memory.size() - first, kConfigDumpBytes));
    return ConfigDumpModel{kConfigDumpFirst, std::vector<std::uint8_t>(shown.begin(), shown.end())};
}

}  // namespace vt
