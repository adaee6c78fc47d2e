#pragma once
// The subcommands of vtutil. Each registers itself on the command line and runs when chosen.

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "cli/global_options.h"

namespace vt::cli {

// Where the subcommands are added. Only those `wanted` names are built, since building every
// subcommand's options is most of what a short command spends before its work.
class Subcommands {
  public:
    Subcommands(CLI::App& app, std::function<bool(std::string_view name)> wanted)
        : app_(app), wanted_(std::move(wanted)) {}
    // The new subcommand, or nullptr when it is not wanted.
    CLI::App* Add(const char* name, const char* help) {
        return wanted_(name) ? app_.add_subcommand(name, help) : nullptr;
    }

  private:
    CLI::App& app_;
    std::function<bool(std::string_view)> wanted_;
};

void AddListCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status);
void AddWindowCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status);
void AddProbeCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status);
void AddPageCommands(Subcommands& commands, const GlobalOptions& options, int& exit_status);
void AddRwTestCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status);
void AddCaptureCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status);
void AddMetricsCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status);

}  // namespace vt::cli
