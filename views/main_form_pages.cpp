// The information pages as form operations: each reads its page's model through the page's reader
// and shows the texts rendered from it on whichever presentation the form runs.

#include "access/device_tables.h"
#include "ctrl/read_system_info.h"
#include "pages/page_readers.h"
#include "pages/refresh_state.h"
#include "report/bad_block_texts.h"
#include "report/erase_count_texts.h"
#include "report/identify_texts.h"
#include "report/ssd_info_texts.h"
#include "views/main_form.h"
#include "views/settings.h"

namespace vt {

void TMainForm::ShowDeviceInfo(unsigned device) {
    auto model = ReadDeviceInfo(device, TransferBuffer);
    if (!model) return;
    ShowPageTexts(ui_,
                  model->usb ? UsbIdentityTexts(*model->usb) : IdentifyPageTexts(*model->sata));
    models_.device_info = std::move(model);
}

bool TMainForm::GetSSDInfo(std::span<std::uint8_t> buffer) {
    return ReadSystemInfo(CurrentDevice, buffer);
}

void TMainForm::ShowSSDInfo(unsigned device) {
    SsdInfoModel model = ReadSsdInfo(device, SystemInfo);
    ShowPageTexts(ui_, SsdInfoPageTexts(model));
    models_.ssd_info = std::move(model);
}

void TMainForm::ProcessBadBlockInfo(unsigned device) {
    auto model = ReadBadBlocks(device, EnRemapRelation != 0, BadBlockMap ? &*BadBlockMap : nullptr);
    ShowPageTexts(ui_, BadBlockPageTexts(model));
    models_.bad_blocks = std::move(model);
}

void TMainForm::GetEraseCount(unsigned device, std::span<std::uint8_t> buffer) {
    ui_.ClearLines("EraseMemo");
    auto page = ReadEraseCount(device, buffer, SystemInfo, BadBlockMap ? &*BadBlockMap : nullptr);
    if (!page) return;
    ShowPageTexts(ui_, EraseCountTexts(*page));
    models_.erase_count = std::move(page);
}

}  // namespace vt
