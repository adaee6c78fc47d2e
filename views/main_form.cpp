#include "views/main_form.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "access/device_tables.h"
#include "access/disk_enumeration.h"
#include "access/mode_flags.h"
#include "access/raw_dump.h"
#include "discovery/device_scan.h"
#include "platform/files.h"
#include "views/controls.h"

namespace vt {
namespace {

constexpr const char* kControllerModels = "K34/K35/K39/K36/K38/K38H/K12/K13";
constexpr const char* kVersion = "A.1.48";
// Only the first rows of a grid are emptied, whatever its row count.
constexpr int kEmptiedGridRows = 50;

}  // namespace

std::string FormatWindowTitle() {
    char title[128];
    std::snprintf(title, sizeof title, "Vantrel %s Utility %s", kControllerModels, kVersion);
    return title;
}

bool RunGuarded(Presentation& ui, const std::function<void()>& handler) {
    // A handler that runs another's (a check box's click) counts and reports its dumps with it.
    static int depth = 0;
    if (depth == 0) StartRawDumps();
    ++depth;
    bool ok = false;
    try {
        handler();
        ok = true;
    } catch (const std::exception& error) {
        ui.ShowError(error.what());
    } catch (...) {
        ui.ShowError("");
    }
    if (--depth == 0) {
        for (const auto& problem : RawDumpProblems()) ui.ShowError(problem);
    }
    return ok;
}

TMainForm::TMainForm(Presentation& ui, FormEnvironment environment)
    : ui_(ui), environment_(std::move(environment)) {
    ui_.SetTitle(FormatWindowTitle());
    const auto settings = ReadSettings(environment_.program_dir);
    en_reset_smart_ = settings.EnResetSmart;
    EnRemapRelation = settings.EnRemapRelation;
    ui_.SetTabVisible("TabSheet9", false);

    OnClick("ScanBn", [this] { ScanBnClick(); });
    OnClick("DetailSaveBn", [this] { DetailSaveBnClick(); });
    OnClick("SavebadblockDetailBn", [this] { SavebadblockDetailBnClick(); });
    OnClick("SavebadblockinfoBn", [this] { SavebadblockinfoBnClick(); });
    OnClick("DpdFTLSaveBn", [this] { DpdFTLSaveBnClick(); });
    OnClick("UartLogSaveBtn", [this] { UartLogSaveBtnClick(); });
    OnClick("DbgErrLogSaveBtn", [this] { DbgErrLogSaveBtnClick(); });
    OnClick("SaveReadPageBn", [this] { SaveReadPageBnClick(); });
    OnClick("GetSmartInfoBn", [this] { GetSmartInfoBnClick(); });
    OnClick("SaveSmartInfoBn", [this] { SaveSmartInfoBnClick(); });
    OnClick("ResetSmartInfoBn", [this] { ResetSmartInfoBnClick(); });
    OnClick("ReadFwDebugMsgGDP", [this] { ReadFwDebugMsgGDPClick(); });
    RegisterToolHandlers();
}

void TMainForm::OnClick(std::string name, std::function<void()> handler) {
    click_handlers_[std::move(name)] = std::move(handler);
}

void TMainForm::OnEnterKey(std::string name, std::function<void()> handler) {
    enter_handlers_[std::move(name)] = std::move(handler);
}

void TMainForm::Click(std::string_view name) {
    if (const auto found = click_handlers_.find(name); found != click_handlers_.end()) {
        RunGuarded(ui_, found->second);
    }
}

void TMainForm::EnterKey(std::string_view edit) {
    if (const auto found = enter_handlers_.find(edit); found != enter_handlers_.end()) {
        RunGuarded(ui_, found->second);
    }
}

void TMainForm::CheckChanged(std::string_view name, bool checked) {
    ui_.SetChecked(name, checked);
    // A check box reports a change of state as a click.
    Click(name);
}

void TMainForm::ClickDeviceRow(int row) {
    const auto old_row = ui_.SelectedRow("ListView1");
    ui_.SelectRow("ListView1", row);
    RunGuarded(ui_, [&] {
        if (old_row) ListView1SelectItem(*old_row, false);
        ListView1SelectItem(row, true);
    });
}

void TMainForm::FormShow() {
    GetVantrelDevice();
    ui_.SetActivePage("TabSheet1");
    if (ui_.Lines("DeviceList").empty()) return;
    ui_.SetItemIndex("DeviceList", 0);
    UpdateInfo(false);
    ui_.SetActivePage("TabSheet1");
}

void TMainForm::ScanBnClick() {
    (void)RescanBuses();
    ui_.ShowMessage("Device scan is finished");
    FormShow();
}

void TMainForm::ListView1SelectItem(int row, bool selected) {
    CurrentDevice = DeviceOfRow(row);
    UpdateInfo(selected);
}

std::uint8_t TMainForm::DeviceOfRow(int row) const {
    if (row >= 0 && static_cast<std::size_t>(row) < device_of_row_.size()) {
        return device_of_row_[static_cast<std::size_t>(row)];
    }
    return static_cast<std::uint8_t>(row);
}

void TMainForm::SpecialTipShapeMouseDown(MouseButton button, bool ctrl_held) {
    (void)button;  // any button counts
    if (!ctrl_held) return;
    RawDumpEnabled = true;
    ui_.SetTabVisible("TabSheet8", true);
    DebugFileEnabled = true;
    SpecialMode = true;
    ui_.ShowMessage("Enter Special mode");
}

void TMainForm::GetVantrelDevice() {
    const auto record = environment_.scan ? environment_.scan() : ScanDevices();
    std::vector<TextRow> rows;
    device_of_row_.clear();
    for (const auto& row : record.rows) {
        rows.emplace_back(row.cells.begin(), row.cells.end());
        device_of_row_.push_back(row.device);
    }
    ui_.SetRows("ListView1", rows);
    ui_.SetLines("DeviceList", record.combo_lines);
    // Without these the user would face an empty list and no reason for it.
    for (const auto& notice : record.notices) ui_.ShowMessage(notice);
}

void TMainForm::UpdateInfo(bool read) {
    EmptyPages();
    if (!read) return;
    RefreshPages();
}

void TMainForm::EmptyPages() {
    models_ = {};
    for (const auto& spec : MainFormControls()) {
        switch (spec.kind) {
            case ControlKind::Edit:
            case ControlKind::LabeledEdit:
                ui_.SetText(spec.name, "");
                break;
            case ControlKind::Memo:
                ui_.ClearLines(spec.name);
                break;
            case ControlKind::Grid: {
                const int rows = std::min(kEmptiedGridRows, ui_.RowCount(spec.name));
                const int columns = ui_.ColCount(spec.name);
                for (int row = 0; row < rows; ++row) {
                    for (int column = 0; column < columns; ++column) {
                        ui_.SetCell(spec.name, row, column, "");
                    }
                }
                break;
            }
            default:
                break;
        }
    }
}

// RefreshPages, the reading part of the refresh, is in views/main_form_refresh.cpp.

void TMainForm::SaveMemoToFile(std::string_view memo, const std::string& default_name) {
    SaveLinesToFile(ui_.Lines(memo), default_name);
}

void TMainForm::SaveLinesToFile(const std::vector<std::string>& lines,
                                const std::string& default_name) {
    if (save_initial_dir_.empty()) save_initial_dir_ = environment_.program_dir;
    const auto path = ui_.AskSaveFile({save_initial_dir_, default_name, "txt", "*.txt"});
    if (!path) return;
    std::vector<std::uint8_t> bytes;
    for (const auto& line : lines) {
        bytes.insert(bytes.end(), line.begin(), line.end());
        bytes.push_back('\r');
        bytes.push_back('\n');
    }
    std::string error;
    if (!platform::ReplaceFile(*path, bytes, error)) {
        // The reason without the name of the temporary file the write went through.
        const auto colon = error.rfind(": ");
        const auto reason = colon == std::string::npos ? error : error.substr(colon + 2);
        throw std::runtime_error("Cannot create file \"" + *path + "\". " + reason);
    }
}

}  // namespace vt
