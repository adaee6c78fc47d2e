// The information pages as form operations: each reads through its page builder and shows the
// texts on whichever presentation the form runs.

#include "access/device_tables.h"
#include "vendor/system_info.h"
#include "vendor/wrappers.h"
#include "views/bad_block_view.h"
#include "views/erase_count_view.h"
#include "views/identify_view.h"
#include "views/main_form.h"
#include "views/refresh_state.h"
#include "views/ssd_info_view.h"

namespace vt {

void TMainForm::ParseInfo(unsigned device, std::span<std::uint8_t> buffer) {
    ShowPageTexts(ui_, vt::ParseInfo(device, buffer));
}

void TMainForm::ParseUSBInfo(unsigned device) {
    ShowPageTexts(ui_, vt::ParseUSBInfo(device));
}

bool TMainForm::GetSSDInfo(std::span<std::uint8_t> buffer) {
    return vt::GetSSDInfo(CurrentDevice, buffer);
}

void TMainForm::ShowSSDInfo(unsigned device) {
    ShowPageTexts(ui_, SsdInfoPageTexts(SystemInfo, GetCapacityMB(device)));
}

void TMainForm::ProcessBadBlockInfo(unsigned device) {
    ShowPageTexts(ui_, vt::ProcessBadBlockInfo(device));
}

void TMainForm::GetEraseCount(unsigned device, std::span<std::uint8_t> buffer) {
    ui_.ClearLines("EraseMemo");
    const EraseCountPage page = vt::GetEraseCount(
        device, buffer, SystemInfo, BadBlockMap ? &*BadBlockMap : nullptr, &erase_counts_);
    ShowPageTexts(ui_, EraseCountTexts(page));
}

}  // namespace vt
