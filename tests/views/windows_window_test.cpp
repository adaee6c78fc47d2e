// The window over the Windows backend: every demo drive must look as it does over the bench
// itself, which proves the request records carry each command and answer unchanged.

#include <gtest/gtest.h>

#include <filesystem>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "platform/windows_backend.h"
#include "sim/bench.h"
#include "tests/support/fake_backend.h"
#include "tests/support/windows_calls_double.h"
#include "vendor/carrier.h"
#include "vendor/system_info.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace vt {
namespace {

// Start-up and a click on `row` (none for -1) over the backend, the window's state as JSON. The
// backend comes back to the caller afterwards.
nlohmann::ordered_json WindowOn(std::unique_ptr<platform::Backend>& backend, int row,
                                const std::string& program_dir) {
    std::filesystem::remove_all(program_dir);
    std::filesystem::create_directories(program_dir);
    for (auto& entry : DeviceTable) entry = DeviceEntry{};
    SystemInfo = SystemInfoRecord{};
    SpecialMode = DebugFileEnabled = RawDumpEnabled = false;
    CurrentDevice = 0;
    CarrierMode = 0;
    auto previous = platform::Install(std::move(backend));
    HeadlessPresentation ui;
    {
        TMainForm form(ui, FormEnvironment{program_dir, "vtutility", {}, false});
        form.FormShow();
        if (row >= 0) form.ClickDeviceRow(row);
    }
    ProcessStateSnapshot state;
    state.current_device = CurrentDevice;
    state.carrier_mode = CarrierMode;
    auto json = ui.ToJson(state);
    backend = platform::Install(std::move(previous));
    return json;
}

nlohmann::ordered_json WindowOnTheBench(int row, const std::string& program_dir) {
    std::unique_ptr<platform::Backend> bench = sim::MakeDemoBench();
    return WindowOn(bench, row, program_dir);
}

TEST(WindowsWindow, EveryDemoDriveLooksAsOnTheBench) {
    test::ScopedTempDir dir;
    const std::string program_dir = dir.File("program");
    const auto listed = WindowOnTheBench(-1, program_dir);
    const auto rows = listed["controls"]["ListView1"]["rows"].size();
    ASSERT_GE(rows, 5u);
    EXPECT_EQ(WindowOnTheBench(0, program_dir)["controls"]["ModelNameEdit"]["text"],
              "Model Name: Vantrel VT538 SSD 256GB");
    for (int row = -1; row < static_cast<int>(rows); ++row) {
        SCOPED_TRACE(row);
        auto calls = std::make_unique<test::WindowsCallsDouble>(sim::MakeDemoBench());
        auto* os = calls.get();
        std::unique_ptr<platform::Backend> windows =
            std::make_unique<platform::WindowsBackend>(std::move(calls));
        const auto through_windows = WindowOn(windows, row, program_dir);
        EXPECT_EQ(os->Violations(), std::vector<std::string>{});
        EXPECT_GT(os->AtaRequests(), 0u);
        EXPECT_EQ(os->OpenHandles(), 0u) << "every handle, lock and search closed";
        EXPECT_EQ(through_windows, WindowOnTheBench(row, program_dir));
    }
}

}  // namespace
}  // namespace vt
