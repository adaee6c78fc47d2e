// The S.M.A.R.T. page: reading the attributes, the report, and resetting the firmware's counters.

#include <algorithm>
#include <array>

#include "access/device_tables.h"
#include "pages/refresh_state.h"
#include "platform/backend.h"
#include "report/smart_texts.h"
#include "vendor/catalogue.h"
#include "vendor/system_info.h"
#include "views/main_form.h"

namespace vt {
namespace {

constexpr const char* kSmartGrid = "StringGrid1";

void PutRow(Presentation& ui, int row, const TextRow& cells) {
    for (int column = 0; column < kSmartGridColumns; ++column) {
        const auto index = static_cast<std::size_t>(column);
        ui.SetCell(kSmartGrid, row, column, index < cells.size() ? cells[index] : std::string());
    }
}

}  // namespace

bool TMainForm::GetSMARTInfo(unsigned device, std::span<std::uint8_t> buffer) {
    const platform::DriveLock hold(EntryOf(device).DevicePath);
    auto report = ReadSmartReport(device, buffer, SystemInfo.FwInfo);
    if (!report) return false;
    const auto& data = report->data;

    PutRow(ui_, 0, SmartGridHeader());
    const auto rows = SmartGridRows(data, report->variant);
    int row = 1;
    for (const auto& cells : rows) PutRow(ui_, row++, cells);
    // A drive with fewer attributes than the one read before must not show the other's rows.
    for (; row < kSmartGridRows; ++row) PutRow(ui_, row, {});

    ui_.ClearLines("SmartEccMemo");
    ui_.ClearLines("SMARTMemo");
    ui_.SetCaption("GroupBox4", SmartGroupCaption(data.revision));
    ui_.SetLines("SMARTMemo", SmartSummaryLines(data));
    models_.smart = std::move(*report);
    return true;
}

void TMainForm::GetSmartInfoBnClick() {
    GetSMARTInfo(CurrentDevice, TransferBuffer);
    ui_.SetEnabled("SaveSmartInfoBn", true);
    if (en_reset_smart_ != 0) {
        ui_.SetEnabled("ResetSmartInfoBn", true);
        ui_.SetVisible("ResetSmartInfoBn", true);
    }
}

void TMainForm::SaveSmartInfoBnClick() {
    // The grid shows the attributes of the last read that succeeded.
    const auto& report = models_.smart;
    SaveLinesToFile(SmartReportLines(report ? SmartGridRows(report->data, report->variant)
                                            : std::vector<TextRow>{}),
                    "smart");
}

void TMainForm::ResetSmartInfoBnClick() {
    const platform::DriveLock hold(EntryOf(CurrentDevice).DevicePath);
    const auto failures = ResetSmartCounters(CurrentDevice, TransferBuffer);
    for (const auto& failure : failures) ui_.ShowMessage(failure);
    // After a partial reset the page keeps the old values rather than mixing old and new.
    if (failures.empty()) GetSMARTInfo(CurrentDevice, TransferBuffer);
}

}  // namespace vt
