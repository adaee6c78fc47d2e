#pragma once
// vtutil's text of each page, rendered from the page's model: the page's edits one line each and
// its memos as the window's memos hold them.

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pages/page_models.h"
#include "report/page_texts.h"

namespace vt {

// An edit's text as one line: the line ends the window's edit boxes carry are dropped.
std::string EditLine(const std::string& text);
// Lines as a memo holds them: a line with CR LF pairs inside is several lines.
std::vector<std::string> MemoView(const std::vector<std::string>& lines);

// The caption of an edit, for the groups whose edits are printed with theirs.
using CaptionOf = std::function<std::string(std::string_view control)>;

std::vector<std::string> DeviceInfoLines(const DeviceInfoModel& model, const CaptionOf& caption);
std::vector<std::string> SsdInfoLines(const SsdInfoModel& model);
// The memo's table, then the average and the maximum.
std::vector<std::string> EraseCountPageLines(const EraseCountPage& page);
// The summary table, an empty line, the detail.
std::vector<std::string> BadBlockLines(const BadBlocksModel& model);
// The saved report's lines.
std::vector<std::string> SmartLines(const SmartReport& report);
std::vector<std::string> FirmwareLogLines(const FirmwareLogModel& model);
// The configuration dump memo (DpdFTLMemo).
std::vector<std::string> ConfigDumpLines(const ConfigDumpModel& model);

}  // namespace vt
