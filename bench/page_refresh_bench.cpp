// One refresh of a drive of the largest geometry the tables hold (8 channels, 8 CE indexes, 4096
// blocks per erase count table, a few hundred bad blocks, remaps) on the bench backend, through
// the headless window. The bench's protocol waits run on its virtual clock, so the real time
// measured is the host's work plus the emulated drive's answers.

#include <benchmark/benchmark.h>

#include "access/device_tables.h"
#include "platform/backend.h"
#include "sim/bench.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace {

using nlohmann::json;

void BM_RefreshLargestDrive(benchmark::State& state) {
    std::string error;
    auto backend =
        vt::sim::MakeBench({{"drives", json::array({vt::sim::LargestGeometryDrive()})}}, error);
    if (!backend) {
        state.SkipWithError(error.c_str());
        return;
    }
    auto* bench = backend.get();
    auto previous = vt::platform::Install(std::move(backend));
    vt::HeadlessPresentation ui;
    vt::TMainForm form(ui, vt::FormEnvironment{"/nonexistent", "/nonexistent/vtutility", {}});
    form.FormShow();
    vt::CurrentDevice = 0;
    double commands = 0;
    double virtual_ms = 0;
    for (auto _ : state) {
        vt::sim::BenchOf(*bench).ClearLog();
        const auto start = bench->Clock().Now();
        form.UpdateInfo(true);
        virtual_ms = static_cast<double>(bench->Clock().Now() - start);
        commands = static_cast<double>(vt::sim::BenchOf(*bench).Log(0).size());
    }
    state.counters["commands"] = commands;
    state.counters["virtual_wait_ms"] = virtual_ms;
    state.counters["erase_rows"] = static_cast<double>(ui.Lines("EraseMemo").size());
    state.counters["detail_lines"] = static_cast<double>(ui.Lines("DetalBadInfoMemo").size());
    vt::platform::Install(std::move(previous));
}
BENCHMARK(BM_RefreshLargestDrive)->Unit(benchmark::kMillisecond);

}  // namespace
