#include "pages/page_reads.h"

#include <algorithm>
#include <filesystem>

#include "ctrl/read_system_info.h"
#include "pages/firmware_log_read.h"
#include "pages/page_readers.h"
#include "pages/refresh_state.h"
#include "vendor/carrier.h"
#include "vendor/code_loading.h"
#include "vendor/loader_mode.h"
#include "vendor/system_info.h"

namespace vt {
namespace {

bool NeedsSystemInfo(Page page) {
    return page != Page::DeviceInfo && page != Page::ConfigDump;
}

void ReadTheFirmwareLog(unsigned device, bool loader, PageRead& read) {
    auto log = ReadFirmwareLog(device, TransferBuffer, loader, UseDramLayout);
    read.models.firmware_log = std::move(log.model);
    if (!log.refusal.empty()) read.messages.push_back(log.refusal);
}

}  // namespace

void AssumeLoaderSystemInfo() {
    SystemInfo.FlashConfig = 0x2813;
    SystemInfo.ChannelCount = 4;
    SystemInfo.BankCount = 4;
    SystemInfo.SectorsPerPage = 32;
}

PageRead ReadPages(unsigned device, std::span<const Page> pages, bool remap_relation) {
    PageRead read;
    const auto asked = [&](Page page) { return std::ranges::find(pages, page) != pages.end(); };
    VA_UnlockVendorCmd(device);
    if (IsLoaderMode(device)) {
        read.loader = true;
        read.messages.push_back(kNotInSystemMode);
        return read;
    }
    if (asked(Page::DeviceInfo)) read.models.device_info = ReadDeviceInfo(device, TransferBuffer);
    if (std::ranges::any_of(pages, NeedsSystemInfo)) {
        if (!ReadSystemInfo(device, TransferBuffer)) {
            read.messages.push_back(kNoCodeBlock);
            return read;
        }
        read.system_info = SystemInfo;
        if (asked(Page::SsdInfo)) read.models.ssd_info = ReadSsdInfo(device, SystemInfo);
    }
    if (asked(Page::Smart))
        read.models.smart = ReadSmartReport(device, TransferBuffer, SystemInfo.FwInfo);
    if (asked(Page::BadBlocks) || asked(Page::EraseCount)) {
        const ScopedDeviceBuffers buffers(device);
        // The erase counts show the blocks the bad block tables name.
        BadBlockMarks marks;
        auto bad_blocks = ReadBadBlocks(device, remap_relation, &marks);
        if (asked(Page::BadBlocks)) read.models.bad_blocks = std::move(bad_blocks);
        if (asked(Page::EraseCount))
            read.models.erase_count = ReadEraseCount(device, TransferBuffer, SystemInfo, &marks);
    }
    if (asked(Page::ConfigDump)) read.models.config_dump = ReadConfigDump(device, TransferBuffer);
    if (asked(Page::FirmwareLog) && RunsFirmwareLogView(SystemInfo)) {
        UseDramLayout = DramLayoutForRevision(SystemInfo);
        ReadTheFirmwareLog(device, false, read);
    }
    return read;
}

PageRead ReadFirmwareLogThroughLoader(unsigned device, const std::string& gdp_path) {
    PageRead read;
    read.loader = true;
    GdpFilePath = gdp_path;
    std::error_code error;
    if (!std::filesystem::is_regular_file(GdpFilePath, error)) {
        read.messages.push_back(kNoCodeImage + GdpFilePath);
        return read;
    }
    AssumeLoaderSystemInfo();
    ReadTheFirmwareLog(device, true, read);
    return read;
}

}  // namespace vt
