#pragma once
// One page of a drive read on its own, without a window: the steps a refresh takes before its
// pages (the vendor commands unlocked, the loader check, the system information where the page
// needs it), then that page's reader only. A command that prints one page sends no command for
// the others, and a failure of another page cannot fail it.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pages/page_models.h"
#include "vendor/system_info.h"

namespace vt {

// What a refresh says when it has to stop.
inline constexpr const char* kNotInSystemMode = "FAIL!!!. The SSD doesn't run on system mode now.";
inline constexpr const char* kNoCodeBlock = "Can't find code block.";
inline constexpr const char* kNoCodeImage = "<WARNING> Can't find file : ";

enum class Page { DeviceInfo, SsdInfo, EraseCount, BadBlocks, Smart, FirmwareLog, ConfigDump };

struct PageRead {
    // The models of the pages asked for.
    PageModels models;
    // The system information, when a page needed it read: it names the controller.
    std::optional<SystemInfoRecord> system_info;
    // What the refresh would have told the user, in order; empty when all went well.
    std::vector<std::string> messages;
    // The controller runs its loader: no page was read, as the refresh reads none then.
    bool loader = false;
};

// Reads the pages in the refresh's order; `remap_relation`: the EnRemapRelation setting. The
// caller holds the drive (DriveLock).
PageRead ReadPages(unsigned device, std::span<const Page> pages, bool remap_relation);

// The firmware's log from the serial flash of a drive in its loader, through the code image at
// `gdp_path` (GdpFilePath): the window's special mode and `uart-log --gdp`.
PageRead ReadFirmwareLogThroughLoader(unsigned device, const std::string& gdp_path);

// With the firmware stopped nothing reports the geometry: the values of the one controller whose
// loader the log view reads.
void AssumeLoaderSystemInfo();

}  // namespace vt
