#pragma once
// vtutil and a drive whose controller runs its loader instead of its firmware: the pages stop
// there, as the window's refresh does; `info` still shows the loader's IDENTIFY and
// `uart-log --gdp` reads the firmware's log through the loader, as the window's special mode does.

#include <optional>
#include <string>

#include "discovery/device_list.h"
#include "pages/page_reads.h"

namespace vt::cli {

// What a page command can do with a drive in its loader.
enum class LoaderUse { None, Identify, GdpLog };

struct LoaderOutcome {
    bool loader = false;             // the page goes on, on a drive in its loader
    std::optional<int> exit_status;  // the command ends here with this status
    std::string reason;              // why, in one line (said on standard error already)
};

// After the page read: on a drive in its loader the page either goes on (the read's messages
// taken care of, and cleared; the log read through the loader into it) or ends with the reason
// and what to do said on standard error. `gdp`, the code image for the log read, is refused for a
// drive that runs its firmware.
LoaderOutcome HandleLoaderMode(const DeviceRow& drive, LoaderUse use, const std::string& gdp,
                               PageRead& read);

}  // namespace vt::cli
