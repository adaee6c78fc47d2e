// The remaining engineering controls: the log file decoder, the diagnose list, the loader jump
// and the GDP load; and the binding of every engineering handler to its control.

#include <string>
#include <vector>

#include "access/device_tables.h"
#include "platform/backend.h"
#include "tools/log_decoder.h"
#include "vendor/code_loading.h"
#include "vendor/loader_mode.h"
#include "views/main_form.h"

namespace vt {

void TMainForm::RegisterToolHandlers() {
    OnClick("RwTestBn", [this] { RwTestBnClick(); });
    OnEnterKey("DebugEdit", [this] { DebugEditKeyPress('\r'); });
    OnClick("DbgSysReadPage", [this] { DbgSysReadPageClick(); });
    OnClick("DbgLDReadPage", [this] { DbgLDReadPageClick(); });
    OnClick("DecodeLogFileBn", [this] { DecodeLogFileBnClick(); });
    OnClick("DiagSSDBn", [this] { DiagSSDBnClick(); });
    OnClick("DiagSSDSaveBn", [this] { DiagSSDSaveBnClick(); });
    OnClick("JumpToLoader", [this] { JumpToLoaderClick(); });
    OnClick("LoadGDPBn", [this] { LoadGDPBnClick(); });
}

void TMainForm::DecodeLogFileBnClick() {
    // Nothing else gives the open dialog a directory, so it always starts in the program's.
    const auto input = ui_.AskOpenFile({environment_.program_dir, "", "*.*", "log file(*.*)|*.*"});
    if (!input) return;
    const std::string output = *input + kDecodedSuffix;
    std::string error;
    if (!DecodeLogFile(*input, output, error)) {
        ui_.ShowMessage("The log file was not decoded. " + error);
        return;
    }
    ui_.ShowMessage("Decode the encryptfile to the file (" + output + ") successfully");
}

std::optional<CellFont> TMainForm::ListViewRMACustomDrawSubItem(const TextRow& item,
                                                                int sub_item) const {
    if (sub_item < 0) return std::nullopt;
    return DiagnoseSubItemFont(item, static_cast<std::size_t>(sub_item));
}

void TMainForm::JumpToLoaderClick() {
    const platform::DriveLock hold(EntryOf(CurrentDevice).DevicePath);
    EnterLoaderMode(CurrentDevice);
}

void TMainForm::LoadGDPBnClick() {
    std::vector<std::uint8_t> image(kCodeImageSize);
    std::uint8_t flags = 0;
    (void)LoadGDP(CurrentDevice, image, flags, 0);
}

}  // namespace vt
