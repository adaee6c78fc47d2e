#pragma once
// The main window's operations, free of any toolkit: the start-up, the device list, the special
// mode gesture, the refresh and the save procedure, all acting through a Presentation.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/device_list.h"
#include "pages/page_models.h"
#include "tools/diagnose_list.h"
#include "views/presentation.h"
#include "views/settings.h"

namespace vt {

enum class MouseButton { Left, Right, Middle };

// "Vantrel K34/.../K13 Utility A.1.48": the caption of the window and of the application.
std::string FormatWindowTitle();

// Runs one event handler. An error that escapes it is shown in the error box with its text (empty
// for a fault without one) and the window goes on. False when that happened. The raw dumps the
// handler could not write, or stopped, are said in the error box too (the handler goes on without
// them).
bool RunGuarded(Presentation& ui, const std::function<void()>& handler);

// Shows the waiting window for the life of the object, so an error in the middle of a refresh
// cannot leave it open.
class WaitingWindow {
  public:
    explicit WaitingWindow(Presentation& ui) : ui_(ui) {
        ui_.ShowWaiting();
        ui_.ProcessPaintEvents();
    }
    ~WaitingWindow() { ui_.CloseWaiting(); }
    WaitingWindow(const WaitingWindow&) = delete;
    WaitingWindow& operator=(const WaitingWindow&) = delete;

  private:
    Presentation& ui_;
};

struct FormEnvironment {
    // Where the settings file, the code image and the drive information dumps live.
    std::string program_dir;
    // The process command line as one string, for the command-line actions.
    std::string command_line;
    // The device scan; empty for the real one (ScanDevices). Tests put a list of their own here.
    std::function<DeviceListRecord()> scan;
    // The self-test reports through an empty file RW_OK.txt or RW_Fail.txt in the program's
    // directory instead of a message box, for unattended runs.
    bool rw_result_files = false;
};

class TMainForm {
  public:
    // Builds the window's state: title, settings, the hidden tab of the diagnose page.
    TMainForm(Presentation& ui, FormEnvironment environment);
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Event handlers.
    void FormShow();
    void ScanBnClick();
    // A row of ListView1 became selected (true) or stopped being selected (false).
    void ListView1SelectItem(int row, bool selected);
    void DeviceListChange() {}
    void SpecialTipShapeMouseDown(MouseButton button, bool ctrl_held);
    void DetailSaveBnClick() { SaveMemoToFile("EraseMemo", "EraseCount"); }
    void SavebadblockDetailBnClick() { SaveMemoToFile("DetalBadInfoMemo", "BadBlockDetail"); }
    void SavebadblockinfoBnClick() { SaveMemoToFile("BadBlockMemo", "BadBlock"); }
    void DpdFTLSaveBnClick() { SaveMemoToFile("DpdFTLMemo", "DPDFTL"); }
    void UartLogSaveBtnClick() { SaveMemoToFile("UartLogMemo", "UartLog"); }
    void DbgErrLogSaveBtnClick() { SaveMemoToFile("DbgErrLogMemo", "DbgErrLog"); }
    void SaveReadPageBnClick() { SaveMemoToFile("DebugMemo2", "ReadPage"); }

    // Events by control name, as the windows deliver them; each runs guarded (RunGuarded).
    // A control without a handler for the event does nothing.
    void Click(std::string_view name);
    void EnterKey(std::string_view edit);
    void CheckChanged(std::string_view name, bool checked);
    // The user clicks a row of ListView1: the old row's deselection, then the new row's selection.
    void ClickDeviceRow(int row);

    // The device scan: refills ListView1, DeviceList and the device tables.
    void GetVantrelDevice();
    // Empties every page; with `read` also reads CurrentDevice and fills them.
    void UpdateInfo(bool read);

    // The common save procedure: proposes `default_name` with extension "txt" in the program's
    // directory and writes the lines, each ended by CR LF. A cancelled dialog does nothing; a
    // failed write throws and leaves any old file as it was.
    void SaveMemoToFile(std::string_view memo, const std::string& default_name);
    void SaveLinesToFile(const std::vector<std::string>& lines, const std::string& default_name);

    Presentation& ui() { return ui_; }
    const FormEnvironment& environment() const { return environment_; }
    int EnResetSmart() const { return en_reset_smart_; }
    // The records the last refresh (and the S.M.A.R.T. read) filled the pages from.
    const PageModels& models() const { return models_; }
    // The device number a row of ListView1 shows; the row itself when the scan gave none.
    std::uint8_t DeviceOfRow(int row) const;

    // Handlers of the pages register here by control name (a later registration replaces one).
    void OnClick(std::string name, std::function<void()> handler);
    void OnEnterKey(std::string name, std::function<void()> handler);

    // --- Information pages and the refresh's steps (views/main_form_pages.cpp) ---
    // The Device Info page by the path the drive is reached on (the bridge's or ATA IDENTIFY).
    void ShowDeviceInfo(unsigned device);
    bool GetSSDInfo(std::span<std::uint8_t> buffer);
    void ShowSSDInfo(unsigned device);
    void ProcessBadBlockInfo(unsigned device);
    void GetEraseCount(unsigned device, std::span<std::uint8_t> buffer);

    // --- S.M.A.R.T. page (views/main_form_smart.cpp) ---
    // Reads the SMART data of `device` into the buffer (at least one sector) and fills the page;
    // false, with the page left as it was, when a read fails.
    bool GetSMARTInfo(unsigned device, std::span<std::uint8_t> buffer);
    void GetSmartInfoBnClick();
    void SaveSmartInfoBnClick();
    void ResetSmartInfoBnClick();
    // --- Firmware log page (views/main_form_fw_log.cpp) ---
    // Mode 1: the firmware runs; 2: the loader runs and a GDP program reads the serial flash.
    void ShowFWDebugMessage(int mode);
    void ReadFwDebugMsgGDPClick();
    // The loader form with the code image at `gdp_path` (the button takes GDP.bin beside the
    // program).
    void ReadFwDebugMsgGDP(const std::string& gdp_path);

    // --- Command-line mode and engineering tools (views/main_form_cmdline.cpp,
    // main_form_debug.cpp, main_form_tools.cpp) ---
    void RwTestBnClick();
    // Writes the drive information shown to program_dir/NAME.txt; why it could not (a refused
    // name, a failed write), empty when it was written.
    [[nodiscard]] std::string DumpSSDInfo(const std::string& name);
    // Only the Enter key (13) runs the typed command.
    void DebugEditKeyPress(char key);
    void DebugTool(std::string& command);
    void DbgSysReadPageClick();
    void DbgLDReadPageClick();
    void DecodeLogFileBnClick();
    void DiagSSDBnClick() {}
    void DiagSSDSaveBnClick() {}
    void JumpToLoaderClick();
    void LoadGDPBnClick();
    // The font of a sub-item of a ListViewRMA row (its cells, caption first) before the default
    // drawing; nullopt: drawn as it is.
    std::optional<CellFont> ListViewRMACustomDrawSubItem(const TextRow& item, int sub_item) const;
    // Binds the handlers above to their controls; the constructor calls it.
    void RegisterToolHandlers();
    void PaserCmdLine();

  private:
    // The first step of every refresh: empty every edit, memo and grid of the window by kind,
    // hidden pages included; nothing else is touched.
    void EmptyPages();
    // The reading part of the refresh, for CurrentDevice.
    void RefreshPages();

    Presentation& ui_;
    FormEnvironment environment_;
    int en_reset_smart_ = 0;
    PageModels models_;
    std::vector<std::uint8_t> device_of_row_;
    std::string save_initial_dir_;
    std::map<std::string, std::function<void()>, std::less<>> click_handlers_;
    std::map<std::string, std::function<void()>, std::less<>> enter_handlers_;
};

}  // namespace vt
