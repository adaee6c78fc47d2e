// What the helper's round trip costs: one drive command (open, IDENTIFY, close, as every command
// of the tool runs) on the demo bench in process and through the helper program serving the same
// bench, and one refresh of the largest drive both ways.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "access/device_tables.h"
#include "platform/backend.h"
#include "platform/helper_backend.h"
#include "sim/bench.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace {

using nlohmann::json;

bool IdentifyOnce(vt::platform::Backend& backend, const std::string& path) {
    std::array<std::uint8_t, 512> data{};
    std::array<std::uint8_t, 32> sense{};
    const int handle = backend.Open(path);
    if (handle < 0) return false;
    vt::platform::AtaRequest request;
    request.task_file = {0, 1, 0, 0, 0, 0xA0, 0xEC, 0};
    request.direction = vt::platform::Direction::In;
    request.data = data;
    request.sense = sense;
    request.timeout_ms = 10'000;
    const bool ok = backend.AtaPassThrough(handle, request) == 0;
    backend.Close(handle);
    return ok;
}

void RunIdentify(benchmark::State& state, vt::platform::Backend& backend) {
    const auto disks = backend.ListDisks();
    if (disks.empty()) {
        state.SkipWithError("no disk");
        return;
    }
    for (auto _ : state) {
        if (!IdentifyOnce(backend, disks.front().path)) {
            state.SkipWithError("IDENTIFY failed");
            return;
        }
    }
}

void BM_CommandInProcess(benchmark::State& state) {
    auto bench = vt::sim::MakeDemoBench();
    RunIdentify(state, *bench);
}
BENCHMARK(BM_CommandInProcess)->Unit(benchmark::kMicrosecond);

void BM_CommandThroughHelper(benchmark::State& state) {
    std::string error;
    auto helper = vt::platform::StartHelper({VT_HELPER_PATH, "--serve-demo"}, error);
    if (!helper) {
        state.SkipWithError(error.c_str());
        return;
    }
    RunIdentify(state, *helper);
}
BENCHMARK(BM_CommandThroughHelper)->Unit(benchmark::kMicrosecond);

void Refresh(benchmark::State& state, std::unique_ptr<vt::platform::Backend> backend) {
    auto previous = vt::platform::Install(std::move(backend));
    vt::HeadlessPresentation ui;
    vt::TMainForm form(ui, vt::FormEnvironment{"/nonexistent", "/nonexistent/vtutility", {}});
    form.FormShow();
    vt::CurrentDevice = 0;
    for (auto _ : state) form.UpdateInfo(true);
    state.counters["erase_rows"] = static_cast<double>(ui.Lines("EraseMemo").size());
    vt::platform::Install(std::move(previous));
}

void BM_RefreshInProcess(benchmark::State& state) {
    std::string error;
    auto backend =
        vt::sim::MakeBench({{"drives", json::array({vt::sim::LargestGeometryDrive()})}}, error);
    if (!backend) return state.SkipWithError(error.c_str());
    Refresh(state, std::move(backend));
}
BENCHMARK(BM_RefreshInProcess)->Unit(benchmark::kMillisecond);

void BM_RefreshThroughHelper(benchmark::State& state) {
    char name[] = "/tmp/vt-helper-bench-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) return state.SkipWithError("no temporary file");
    ::close(fd);
    std::ofstream(name) << json{{"drives", json::array({vt::sim::LargestGeometryDrive()})}}.dump();
    std::string error;
    auto helper = vt::platform::StartHelper({VT_HELPER_PATH, "--serve-bench", name}, error);
    ::unlink(name);
    if (!helper) return state.SkipWithError(error.c_str());
    Refresh(state, std::move(helper));
}
BENCHMARK(BM_RefreshThroughHelper)->Unit(benchmark::kMillisecond);

}  // namespace
