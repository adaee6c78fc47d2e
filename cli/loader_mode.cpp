#include "cli/loader_mode.h"

#include <cstdio>

#include "cli/global_options.h"
#include "cli/terminal_text.h"
#include "pages/page_readers.h"
#include "pages/refresh_state.h"
#include "platform/files.h"

namespace vt::cli {
namespace {

std::string Disk(const DeviceRow& drive) {
    return "disk " + drive.cells[0];
}

void SayWhatToDo(const DeviceRow& drive) {
    const std::string& disk = drive.cells[0];
    std::fprintf(
        stderr,
        "vtutil: the controller of %s runs its loader, not its firmware: the drive's pages "
        "cannot be read.\n"
        "  `vtutil info %s` shows the loader's IDENTIFY; `vtutil uart-log %s --gdp "
        "GDP.bin` reads the firmware's log through the loader.\n"
        "  Power-cycle the drive to start its firmware again; if it stays in its loader, "
        "its firmware must be loaded again.\n",
        Disk(drive).c_str(), disk.c_str(), disk.c_str());
}

int ReadLogThroughLoader(const DeviceRow& drive, const std::string& gdp, PageRead& read) {
    // Opened as every input is: no FIFO that blocks, no link, a regular file only.
    if (const platform::InputFile image(gdp); !image.IsOpen()) {
        Warn("cannot read the code image: " + image.error());
        return kExitFileError;
    }
    Warn(Disk(drive) + " runs its loader; loading the code image " + gdp + "...");
    read = ReadFirmwareLogThroughLoader(drive.device, gdp);
    for (const auto& message : read.messages) Warn(message);
    if (!read.messages.empty()) return kExitCommandFailed;
    const auto& log = read.models.firmware_log;
    if (!log || log->lines.empty()) {
        std::fprintf(stderr,
                     "vtutil: the firmware's log could not be read from the serial flash\n");
        return kExitCommandFailed;
    }
    std::fprintf(stderr, "vtutil: code image loaded, the log read from the serial flash\n");
    return kExitOk;
}

}  // namespace

LoaderOutcome HandleLoaderMode(const DeviceRow& drive, LoaderUse use, const std::string& gdp,
                               PageRead& read) {
    LoaderOutcome outcome;
    if (!read.loader) {
        if (!gdp.empty() && read.messages.empty()) {
            std::fprintf(stderr,
                         "vtutil: %s runs its firmware: --gdp reads the log of a drive in its "
                         "loader; leave it out\n",
                         Disk(drive).c_str());
            outcome.exit_status = kExitUsage;
            outcome.reason = Disk(drive) + " runs its firmware: --gdp is for a drive in its loader";
        }
        return outcome;
    }
    if (use == LoaderUse::Identify) {
        // The loader answers IDENTIFY with its own.
        read.models.device_info = ReadDeviceInfo(drive.device, TransferBuffer);
        read.messages.clear();
        SayWhatToDo(drive);
        outcome.loader = true;
        return outcome;
    }
    if (use == LoaderUse::GdpLog && !gdp.empty()) {
        const int status = ReadLogThroughLoader(drive, gdp, read);
        read.messages.clear();
        if (status != kExitOk) {
            outcome.exit_status = status;
            outcome.reason =
                "the firmware's log could not be read through the loader of " + Disk(drive);
        }
        outcome.loader = true;
        return outcome;
    }
    for (const auto& message : read.messages) Warn(message);
    SayWhatToDo(drive);
    outcome.exit_status = kExitCommandFailed;
    outcome.reason = "the controller of " + Disk(drive) + " runs its loader, not its firmware";
    return outcome;
}

}  // namespace vt::cli
