#pragma once
// What every subcommand of vtutil shares, kept apart from the command-line parser so that the
// files that only need these do not build the parser's own globals at every start.

#include <string>

namespace vt::cli {

// Options every subcommand shares.
struct GlobalOptions {
    std::string bench_file;
    bool demo = false;
    bool json = false;  // --json before the subcommand; each subcommand also takes its own
};

// Exit statuses of vtutil.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitNoDevice = 2;
inline constexpr int kExitCommandFailed = 3;
inline constexpr int kExitMismatch = 4;
inline constexpr int kExitFileError = 5;      // a file or I/O error of the tool's own
inline constexpr int kExitDeviceBusy = 6;     // the drive is in use by another process
inline constexpr int kExitInUse = 7;          // rwtest: the disk is mounted, swap or held
inline constexpr int kExitInterrupted = 130;  // Ctrl-C, as shells report it

// Installs the backend the options ask for (the bench file, the demo bench, or real drives).
// False, with a message on standard error, when a bench file is refused.
bool InstallBackend(const GlobalOptions& options);
// The same, leaving the message to the caller.
bool InstallBackend(const GlobalOptions& options, std::string& error);

}  // namespace vt::cli
