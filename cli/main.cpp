// vtutil: the headless front end. One subcommand per job.

#include <cstdio>

#include "cli/commands.h"

int main(int argc, char** argv) {
    CLI::App app{"vtutil: service tool for SSDs on Vantrel controllers (headless front end)"};
    app.require_subcommand(1);
    app.footer(
        "DEVICE is the number in the Disk column of `vtutil list`, or the drive's path.\n"
        "Exit status: 0 done; 1 bad command line (or rwtest without --yes); 2 no such device, or "
        "it\n"
        "cannot be opened (missing rights included); 3 a drive command failed; 4 the self-test\n"
        "found a mismatch; 130 the self-test was interrupted.");
    vt::cli::GlobalOptions options;
    auto* bench =
        app.add_option("--bench", options.bench_file, "Use the virtual drives of a bench file");
    app.add_flag("--demo", options.demo, "Use the built-in demo bench")->excludes(bench);
    int exit_status = vt::cli::kExitOk;
    vt::cli::AddListCommand(app, options, exit_status);
    vt::cli::AddWindowCommand(app, options, exit_status);
    vt::cli::AddProbeCommand(app, options, exit_status);
    vt::cli::AddPageCommands(app, options, exit_status);
    vt::cli::AddRwTestCommand(app, options, exit_status);
    vt::cli::AddMetricsCommand(app, options, exit_status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? vt::cli::kExitOk : vt::cli::kExitUsage;
    }
    return exit_status;
}
