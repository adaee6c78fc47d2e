#include "tests/support/scoped_bench.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "access/device_tables.h"

namespace vt::test {

ScopedBench::ScopedBench(const nlohmann::json& drives, bool set_device_entries) {
    std::string error;
    auto backend = sim::MakeBench({{"drives", drives}}, error);
    if (!backend) {
        ADD_FAILURE() << error;
        backend = sim::MakeBench({{"drives", nlohmann::json::array()}}, error);
    }
    backend_ = backend.get();
    previous_ = platform::Install(std::move(backend));
    for (auto& entry : DeviceTable) entry = DeviceEntry{};
    if (!set_device_entries) return;
    for (std::size_t i = 0; i < bench().DiskCount() && i < kMaxDevices; ++i) {
        DeviceEntry& entry = DeviceTable[i];
        entry.DevicePath = bench().PathOf(i);
        const auto& config = bench().Drive(i).Config();
        entry.AtaPassThrough = config.bus == "ide" ? 1 : 0;
        entry.DirectVendorCdb = config.bridge == sim::Bridge::Older ? 1 : 0;
    }
}

ScopedBench::~ScopedBench() {
    platform::Install(std::move(previous_));
    for (auto& entry : DeviceTable) entry = DeviceEntry{};
}

std::size_t ScopedBench::AtaCommands(std::size_t disk) {
    const auto& log = bench().Log(disk);
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [](const auto& c) { return c.kind == sim::CommandKind::Ata; }));
}

}  // namespace vt::test
