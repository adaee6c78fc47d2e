// The "Uart Log of F/W" page: the firmware's UART log ring, read from controller memory while the
// firmware runs, or from the serial flash through a loaded GDP program while the loader runs.

#include <filesystem>
#include <string>

#include "access/device_tables.h"
#include "pages/firmware_log_read.h"
#include "pages/page_reads.h"
#include "pages/refresh_state.h"
#include "platform/backend.h"
#include "vendor/code_loading.h"
#include "views/main_form.h"

namespace vt {
void TMainForm::ShowFWDebugMessage(int mode) {
    ui_.SetTabVisible("TabSheet8", true);
    const unsigned device = CurrentDevice;
    const platform::DriveLock hold(EntryOf(device).DevicePath);
    const bool loader = mode == 2;
    if (loader) AssumeLoaderSystemInfo();
    auto log = ReadFirmwareLog(device, TransferBuffer, loader, UseDramLayout);
    if (!log.refusal.empty()) ui_.ShowMessage(log.refusal);
    if (!log.model) return;
    for (const auto& line : log.model->lines) ui_.AppendLine("UartLogMemo", line);
    models_.firmware_log = std::move(log.model);
}

void TMainForm::ReadFwDebugMsgGDPClick() {
    ReadFwDebugMsgGDP(GdpPathIn(environment_.program_dir));
}

void TMainForm::ReadFwDebugMsgGDP(const std::string& gdp_path) {
    GdpFilePath = gdp_path;
    std::error_code error;
    if (std::filesystem::is_regular_file(GdpFilePath, error)) {
        ShowFWDebugMessage(2);
    } else {
        ui_.ShowMessage(kNoCodeImage + GdpFilePath);
    }
}

}  // namespace vt
