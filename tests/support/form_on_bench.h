#pragma once
// The main form on a headless window over a bench, as a test fixture: the program's directory is
// a folder inside the temporary working directory, where raw dumps go.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "platform/backend.h"
#include "sim/bench.h"
#include "tests/support/fake_backend.h"
#include "vendor/system_info.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace vt::test {

template <typename Window = HeadlessPresentation>
class FormOnBench : public ::testing::Test {
  protected:
    void SetUp() override {
        SpecialMode = DebugFileEnabled = RawDumpEnabled = false;
        CurrentDevice = 0;
        SystemInfo = {};
        program_dir = dir.File("program");
        std::filesystem::create_directories(program_dir);
    }
    void TearDown() override {
        form.reset();
        window.reset();
        if (previous) platform::Install(std::move(previous));
        SpecialMode = RawDumpEnabled = DebugFileEnabled = false;
    }

    // Installs the bench; false (and a test failure) when it refuses the drives. A test may
    // install several in turn; the backend before the first comes back at the end.
    bool Install(std::unique_ptr<platform::BenchBackend> backend) {
        if (!backend) {
            ADD_FAILURE() << "no bench";
            return false;
        }
        bench = &sim::BenchOf(*backend);
        auto replaced = platform::Install(std::move(backend));
        if (!previous) previous = std::move(replaced);
        return true;
    }
    bool Install(nlohmann::json drive) {
        std::string error;
        auto backend =
            sim::MakeBench({{"drives", nlohmann::json::array({std::move(drive)})}}, error);
        if (!backend) ADD_FAILURE() << error;
        return backend && Install(std::move(backend));
    }

    // Builds the window and runs the start-up; the command line defaults to the program alone.
    TMainForm& Start(std::string command_line = {}, bool result_files = false) {
        form.reset();
        FormEnvironment environment;
        environment.program_dir = program_dir;
        environment.command_line =
            command_line.empty() ? program_dir + "/vtutility" : std::move(command_line);
        environment.rw_result_files = result_files;
        window = std::make_unique<Window>(options);
        form = std::make_unique<TMainForm>(*window, environment);
        form->FormShow();
        return *form;
    }
    // Start-up, then the user selects a row: one full refresh.
    TMainForm& Select(int row = 0) {
        Start();
        form->ClickDeviceRow(row);
        return *form;
    }
    TMainForm& StartAndSelect(std::string command_line = {}, bool result_files = false) {
        Start(std::move(command_line), result_files);
        form->ClickDeviceRow(0);
        return *form;
    }

    std::vector<sim::LoggedCommand> Vendor(std::uint8_t sub_command) const {
        std::vector<sim::LoggedCommand> found;
        for (const auto& command : bench->VendorLog(0)) {
            if (command.sub_command == sub_command) found.push_back(command);
        }
        return found;
    }

    Window& ui() { return *window; }
    std::string Text(const char* name) { return window->Text(name); }
    std::vector<std::string> Lines(const char* name) { return window->Lines(name); }
    std::string ProgramFile(const std::string& name) const { return program_dir + "/" + name; }

    ScopedTempDir dir;  // also the working directory
    std::string program_dir;
    HeadlessOptions options;  // set before Start
    std::unique_ptr<Window> window;
    std::unique_ptr<TMainForm> form;
    sim::Bench* bench = nullptr;
    std::unique_ptr<platform::Backend> previous;
};

}  // namespace vt::test
