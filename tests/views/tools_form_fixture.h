#pragma once
// The main form over a one-drive bench for the engineering tool tests, on a window that remembers
// what its dialogs were asked.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/form_on_bench.h"
#include "views/headless_presentation.h"

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

using ToolsFormTest = FormOnBench<ToolsWindow>;

}  // namespace vt::test
