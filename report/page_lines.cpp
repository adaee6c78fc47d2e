#include "report/page_lines.h"

#include "pages/text_format.h"
#include "report/bad_block_texts.h"
#include "report/erase_count_texts.h"
#include "report/identify_texts.h"
#include "report/smart_texts.h"
#include "report/ssd_info_texts.h"
#include "tools/hex_dump_line.h"

namespace vt {
namespace {

const char* const kSataInfoEdits[] = {
    "ModelNameEdit",    "SNEdit",          "FwVersionEdit",        "DiskHeadEdit",
    "ChsEdit",          "TotalSectorEdit", "MultiwordDMAmodeEdit", "MultiwordDMAEdit",
    "UltraDMAModeEdit", "UltraDMAEdit",    "SMARTfeatureEdit",     "SecurityModeEdit",
    "WWNEdit"};
const char* const kUsbInfoEdits[] = {
    "SNUSBEdit",      "CapEdit",         "TotalLBAEdit",         "VIDEdit",          "PIDEdit",
    "VendorNameEdit", "ProductNameEdit", "ManufacturStringEdit", "ProductStringEdit"};
const char* const kSsdInfoEdits[] = {
    "FlashmodelEdit", "ChannelEdit",  "CapacityEdit",     "DriverEdit",    "ResPerEdit",
    "EccReadEdit",    "EccCopyEdit",  "WearLevelingEdit", "BankMapEdit",   "FwEdit",
    "SupportEdit1",   "SupportEdit2", "FlashInfoEdit",    "FlashTypeEdit", "BlockCeEdit",
    "PageBlockEdit",  "CeEdit"};

// The named edits in order, one line each; an edit left empty gives none.
void AddEdits(const PageTexts& texts, std::span<const char* const> names, const CaptionOf* caption,
              std::vector<std::string>& lines) {
    for (const char* name : names) {
        std::string line = EditLine(texts.EditOf(name));
        if (caption) line = EditLine((*caption)(name)) + ": " + line;
        if (!line.empty()) lines.push_back(std::move(line));
    }
}

void Append(std::vector<std::string>& lines, const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
}

}  // namespace

std::string EditLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ') line += ' ';
            continue;
        }
        line += c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    const auto first = line.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : line.substr(first);
}

std::vector<std::string> MemoView(const std::vector<std::string>& lines) {
    std::vector<std::string> memo;
    memo.reserve(lines.size());
    for (const auto& line : lines) Append(memo, SplitAtCrLf(line));
    return memo;
}

std::vector<std::string> DeviceInfoLines(const DeviceInfoModel& model, const CaptionOf& caption) {
    std::vector<std::string> lines;
    if (model.usb) {
        AddEdits(UsbIdentityTexts(*model.usb), kUsbInfoEdits, &caption, lines);
    } else if (model.sata) {
        AddEdits(IdentifyPageTexts(*model.sata), kSataInfoEdits, nullptr, lines);
    }
    return lines;
}

std::vector<std::string> SsdInfoLines(const SsdInfoModel& model) {
    const PageTexts texts = SsdInfoPageTexts(model);
    std::vector<std::string> lines;
    AddEdits(texts, kSsdInfoEdits, nullptr, lines);
    Append(lines, MemoView(texts.MemoOf("SSDInfoMemo")));
    return lines;
}

std::vector<std::string> EraseCountPageLines(const EraseCountPage& page) {
    // Counts only: no line of the table holds a line end.
    auto lines = EraseCountLines(page);
    for (const auto& edit : EraseCountSummaryTexts(page).edits) {
        if (auto line = EditLine(edit.text); !line.empty()) lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> BadBlockLines(const BadBlocksModel& model) {
    const PageTexts texts = BadBlockPageTexts(model);
    auto lines = MemoView(texts.MemoOf("BadBlockMemo"));
    lines.emplace_back();
    Append(lines, MemoView(texts.MemoOf("DetalBadInfoMemo")));
    return lines;
}

std::vector<std::string> SmartLines(const SmartReport& report) {
    return SmartReportLines(SmartGridRows(report.data, report.variant));
}

std::vector<std::string> FirmwareLogLines(const FirmwareLogModel& model) {
    return MemoView(model.lines);
}

std::vector<std::string> ConfigDumpLines(const ConfigDumpModel& model) {
    std::vector<std::string> lines;
    const std::span<const std::uint8_t> bytes = model.bytes;
    for (std::size_t at = 0; at < bytes.size(); at += kHexDumpLineBytes)
        lines.push_back(
            HexDumpLine(model.first_offset + static_cast<std::uint32_t>(at), bytes.subspan(at)));
    return lines;
}

}  // namespace vt
