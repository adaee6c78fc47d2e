#pragma once
// The main form on the headless window over a one-drive bench, for the engineering tool tests:
// the program's directory and the working directory (raw dumps) are separate temporary folders.

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

// Remembers what the open dialog was asked, and lets a test look at the world when a message box
// comes up.
class ToolsWindow : public HeadlessPresentation {
  public:
    using HeadlessPresentation::HeadlessPresentation;
    std::optional<std::string> AskOpenFile(const FileDialogRequest& request) override {
        open_requests.push_back(request);
        return HeadlessPresentation::AskOpenFile(request);
    }
    void ShowMessage(const std::string& text) override {
        if (on_message) on_message(text);
        HeadlessPresentation::ShowMessage(text);
    }
    std::vector<FileDialogRequest> open_requests;
    std::function<void(const std::string&)> on_message;
};

inline nlohmann::json SataDrive() {
    return {{"bus", "ide"},
            {"model", "K38"},
            {"capacity_sectors", 1000000u},
            {"channels", 8u},
            {"serial", "VT0001"}};
}

class ToolsFormTest : public ::testing::Test {
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
        RawDumpEnabled = false;
    }

    // Installs the bench; false (and a test failure) when it refuses the drive.
    bool Install(nlohmann::json drive) {
        std::string error;
        auto backend =
            sim::MakeBench({{"drives", nlohmann::json::array({std::move(drive)})}}, error);
        if (!backend) {
            ADD_FAILURE() << error;
            return false;
        }
        bench = &sim::BenchOf(*backend);
        previous = platform::Install(std::move(backend));
        return true;
    }

    // Builds the window and runs the start-up; the command line defaults to the program alone.
    TMainForm& Start(std::string command_line = {}, bool result_files = false) {
        FormEnvironment environment;
        environment.program_dir = program_dir;
        environment.command_line =
            command_line.empty() ? program_dir + "/vtutility" : std::move(command_line);
        environment.rw_result_files = result_files;
        window = std::make_unique<ToolsWindow>(options);
        form = std::make_unique<TMainForm>(*window, environment);
        form->FormShow();
        return *form;
    }

    // Start-up, then the user selects the drive: one full refresh.
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

    ToolsWindow& ui() { return *window; }
    std::string ProgramFile(const std::string& name) const { return program_dir + "/" + name; }

    ScopedTempDir dir;  // also the working directory
    std::string program_dir;
    HeadlessOptions options;  // set before Start
    std::unique_ptr<ToolsWindow> window;
    std::unique_ptr<TMainForm> form;
    sim::Bench* bench = nullptr;
    std::unique_ptr<platform::Backend> previous;
};

}  // namespace vt::test
