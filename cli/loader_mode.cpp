#include "cli/loader_mode.h"

#include <cstdio>

#include "cli/commands.h"
#include "cli/terminal_text.h"
#include "platform/files.h"
#include "vendor/loader_mode.h"

namespace vt::cli {
namespace {

std::string Disk(const FormSession& s) {
    return "disk " + std::to_string(s.device() + 1);
}

void SayWhatToDo(const FormSession& s) {
    const std::string disk = std::to_string(s.device() + 1);
    std::fprintf(
        stderr,
        "vtutil: the controller of %s runs its loader, not its firmware: the drive's pages "
        "cannot be read.\n"
        "  `vtutil info %s` shows the loader's IDENTIFY; `vtutil uart-log %s --gdp "
        "GDP.bin` reads the firmware's log through the loader.\n"
        "  Power-cycle the drive to start its firmware again; if it stays in its loader, "
        "its firmware must be loaded again.\n",
        Disk(s).c_str(), disk.c_str(), disk.c_str());
}

int ReadLogThroughLoader(FormSession& s, const std::string& gdp) {
    // Opened as every input is: no FIFO that blocks, no link, a regular file only.
    if (const platform::InputFile image(gdp); !image.IsOpen()) {
        Warn("cannot read the code image: " + image.error());
        return kExitFileError;
    }
    Warn(Disk(s) + " runs its loader; loading the code image " + gdp + "...");
    s.form().ReadFwDebugMsgGDP(gdp);
    const auto messages = s.TakeMessages();
    for (const auto& message : messages) Warn(message);
    if (!messages.empty()) return kExitCommandFailed;
    const auto& log = s.form().models().firmware_log;
    if (!log || log->lines.empty()) {
        std::fprintf(stderr,
                     "vtutil: the firmware's log could not be read from the serial flash\n");
        return kExitCommandFailed;
    }
    std::fprintf(stderr, "vtutil: code image loaded, the log read from the serial flash\n");
    return kExitOk;
}

}  // namespace

LoaderOutcome HandleLoaderMode(FormSession& s, LoaderUse use, const std::string& gdp,
                               std::vector<std::string>& messages) {
    LoaderOutcome outcome;
    // A refresh that went through means the firmware runs.
    const bool in_loader = !messages.empty() && IsLoaderMode(s.device());
    if (!in_loader) {
        if (!gdp.empty() && messages.empty()) {
            std::fprintf(stderr,
                         "vtutil: %s runs its firmware: --gdp reads the log of a drive in its "
                         "loader; leave it out\n",
                         Disk(s).c_str());
            outcome.exit_status = kExitUsage;
            outcome.reason = Disk(s) + " runs its firmware: --gdp is for a drive in its loader";
        }
        return outcome;
    }
    if (use == LoaderUse::Identify) {
        s.form().ShowDeviceInfo(s.device());
        messages = s.TakeMessages();
        if (messages.empty()) {
            SayWhatToDo(s);
            outcome.loader = true;
        }
        return outcome;
    }
    if (use == LoaderUse::GdpLog && !gdp.empty()) {
        messages.clear();
        const int status = ReadLogThroughLoader(s, gdp);
        if (status != kExitOk) {
            outcome.exit_status = status;
            outcome.reason =
                "the firmware's log could not be read through the loader of " + Disk(s);
        }
        outcome.loader = true;
        return outcome;
    }
    for (const auto& message : messages) Warn(message);
    SayWhatToDo(s);
    outcome.exit_status = kExitCommandFailed;
    outcome.reason = "the controller of " + Disk(s) + " runs its loader, not its firmware";
    return outcome;
}

}  // namespace vt::cli
