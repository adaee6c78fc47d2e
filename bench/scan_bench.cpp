// One device scan of a bench with 12 accepted drives and 4 foreign disks. Reports the commands
// sent and the protocol's (virtual) waiting time per scan as counters; the real time measured is
// the scan's own work plus the emulated drives' answers.

#include <benchmark/benchmark.h>

#include "access/device_tables.h"
#include "discovery/device_scan.h"
#include "platform/backend.h"
#include "sim/bench.h"

namespace {

using nlohmann::json;

void BM_DeviceScan(benchmark::State& state) {
    json drives = json::array();
    // Two disks of another maker that report a rotating medium, two foreign SSDs that reject the
    // vendor unlock (they cost the signature test's waits), then the twelve drives.
    for (int rotation : {0x1C20, 0x1C20, 1, 1}) {
        drives.push_back({{"bus", "ide"}, {"vendor", false}, {"rotation", rotation}});
    }
    for (int i = 0; i < 12; ++i) {
        drives.push_back({{"bus", "ide"}, {"model", "K38"}, {"serial", "SN" + std::to_string(i)}});
    }
    std::string error;
    auto backend = vt::sim::MakeBench({{"drives", drives}}, error);
    auto* bench = backend.get();
    auto previous = vt::platform::Install(std::move(backend));
    double commands = 0;
    double waited_ms = 0;
    for (auto _ : state) {
        vt::sim::BenchOf(*bench).ClearLog();
        const auto start = bench->Clock().Now();
        const auto record = vt::ScanDevices();
        benchmark::DoNotOptimize(record);
        waited_ms = static_cast<double>(bench->Clock().Now() - start);
        commands = 0;
        for (std::size_t d = 0; d < vt::sim::BenchOf(*bench).DiskCount(); ++d) {
            commands += static_cast<double>(vt::sim::BenchOf(*bench).Log(d).size());
        }
    }
    state.counters["commands"] = commands;
    state.counters["virtual_wait_ms"] = waited_ms;
    vt::platform::Install(std::move(previous));
}
BENCHMARK(BM_DeviceScan)->Unit(benchmark::kMillisecond);

}  // namespace
