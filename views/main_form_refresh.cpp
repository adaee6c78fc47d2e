// The reading part of the refresh: everything after the pages were emptied.

#include <filesystem>
#include <string>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "access/raw_dump.h"
#include "ctrl/read_system_info.h"
#include "pages/page_readers.h"
#include "pages/page_reads.h"
#include "pages/refresh_state.h"
#include "platform/backend.h"
#include "report/page_lines.h"
#include "vendor/carrier.h"
#include "vendor/catalogue.h"
#include "vendor/code_loading.h"
#include "vendor/loader_mode.h"
#include "views/main_form.h"

namespace vt {
namespace {

// The dumps after the system information repeat per channel and CE index the drive claims. A claim
// beyond the tables' 8 x 8 comes from a corrupt loader block and would write its garbage thousands
// of times; sysread.raw, written already, holds what the drive said.
void LimitRawDumpsToTheTables(const SystemInfoRecord& info) {
    const unsigned ces = unsigned{info.BankCount} * info.DiesPerCe;
    if (info.ChannelCount <= BadBlockMarks::kChannels && ces <= BadBlockMarks::kCes) return;
    StopRawDumps("the drive claims " + std::to_string(info.ChannelCount) + " channels and " +
                 std::to_string(ces) + " CE indexes, more than the " +
                 std::to_string(BadBlockMarks::kChannels) + " and " +
                 std::to_string(BadBlockMarks::kCes) + " of the largest geometry");
}

}  // namespace

void TMainForm::RefreshPages() {
    const unsigned device = CurrentDevice;
    const platform::DriveLock hold(EntryOf(device).DevicePath);
    VA_UnlockVendorCmd(device);
    const ScopedDeviceBuffers buffers(device);
    GdpFilePath = GdpPathIn(environment_.program_dir);

    if (IsLoaderMode(device)) {
        if (!SpecialMode) {
            ui_.ShowMessage(kNotInSystemMode);
            return;
        }
        std::error_code error;
        if (std::filesystem::is_regular_file(GdpFilePath, error)) {
            ShowFWDebugMessage(2);
            ui_.SetActivePage("TabSheet8");
        } else {
            ui_.ShowMessage(kNoCodeImage + GdpFilePath);
        }
        return;
    }

    ShowDeviceInfo(device);
    if (!GetSSDInfo(TransferBuffer)) {
        ui_.ShowMessage(kNoCodeBlock);
        return;
    }
    ShowSSDInfo(device);
    LimitRawDumpsToTheTables(SystemInfo);

    {
        const WaitingWindow waiting(ui_);
        // Before the table reads, so that a raw dump word of the command line covers them.
        PaserCmdLine();
        {
            const ScopedBadBlockMap map;
            ProcessBadBlockInfo(device);
            GetEraseCount(device, TransferBuffer);
        }
        if (auto dump = ReadConfigDump(device, TransferBuffer)) {
            ui_.SetLines("DpdFTLMemo", ConfigDumpLines(*dump));
            models_.config_dump = std::move(dump);
        }
        ui_.SetTabVisible("TabSheet8", false);
        if (RunsFirmwareLogView(SystemInfo)) {
            UseDramLayout = DramLayoutForRevision(SystemInfo);
            ShowFWDebugMessage(1);
        }
    }
    ui_.SetTabVisible("TabSheet9", false);
    ui_.SetActivePage("TabSheet1");
}

}  // namespace vt
