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
    auto identity = ReadSataIdentity(device, buffer);
    if (!identity) return;
    ShowPageTexts(ui_, IdentifyPageTexts(*identity));
    models_.device_info = DeviceInfoModel{std::move(identity), std::nullopt};
}

void TMainForm::ParseUSBInfo(unsigned device) {
    auto identity = ReadUsbIdentity(device);
    ShowPageTexts(ui_, UsbIdentityTexts(identity));
    models_.device_info = DeviceInfoModel{std::nullopt, std::move(identity)};
}

void TMainForm::ShowDeviceInfo(unsigned device) {
    if (EntryOf(device).DirectVendorCdb) {
        ParseUSBInfo(device);
    } else {
        ParseInfo(device, TransferBuffer);
    }
}

bool TMainForm::GetSSDInfo(std::span<std::uint8_t> buffer) {
    return vt::GetSSDInfo(CurrentDevice, buffer);
}

void TMainForm::ShowSSDInfo(unsigned device) {
    const std::uint64_t sectors = GetCapacitySectors(device);
    SsdInfoModel model{SystemInfo, sectors / 2048, sectors * 512};
    ShowPageTexts(ui_, SsdInfoPageTexts(model.info, model.capacity_mb));
    models_.ssd_info = std::move(model);
}

void TMainForm::ProcessBadBlockInfo(unsigned device) {
    auto model = ReadBadBlocks(device);
    ShowPageTexts(ui_, BadBlockPageTexts(model.detail, SystemInfo));
    models_.bad_blocks = std::move(model);
}

void TMainForm::GetEraseCount(unsigned device, std::span<std::uint8_t> buffer) {
    ui_.ClearLines("EraseMemo");
    EraseCountPage page = vt::GetEraseCount(device, buffer, SystemInfo,
                                            BadBlockMap ? &*BadBlockMap : nullptr, &erase_counts_);
    ShowPageTexts(ui_, EraseCountTexts(page));
    if (!page.lines.empty()) models_.erase_count = std::move(page);
}

}  // namespace vt
