#pragma once
// The JSON rendering of the page models (format version 2): snake_case keys, numbers as numbers,
// units in the key names, drive texts trimmed and turned from Latin-1 into UTF-8.

#include <nlohmann/json.hpp>

#include <string_view>

#include "pages/drive_identity.h"
#include "pages/page_models.h"

namespace vt {

using Json = nlohmann::ordered_json;

// A drive's text (Latin-1 bytes) trimmed of blanks and control characters, as UTF-8.
std::string JsonText(std::string_view latin1);

// The name of a firmware error type of a bad unit (kErrTypeEccOver and the three after it) in the
// documents and the metrics; nullptr for a type the tool does not name.
const char* ErrorTypeKey(unsigned type);

// The drive a document is about, as its row of the list shows it.
Json DeviceJson(const DriveIdentity& drive);
// The same with its capacity, for the list.
Json ListRowJson(const DriveIdentity& drive);

Json DeviceInfoJson(const DeviceInfoModel& model);
Json SsdInfoJson(const SsdInfoModel& model);
// A value a document holds where a list too long to build whole is written item by item
// (PrintJson with a StreamedList): control characters keep it apart from any drive's text.
inline constexpr const char* kStreamedList = "\x01streamed list\x01";

// The page with kStreamedList for its "blocks", one EraseCountBlockJson per row of the grid: the
// largest drives have over a hundred thousand rows of 64 counts.
Json EraseCountJson(const EraseCountPage& page);
Json EraseCountBlockJson(const EraseCountGrid& grid, std::size_t row);
Json BadBlocksJson(const BadBlocksModel& model);
Json SmartJson(const SmartReport& report);
Json FirmwareLogJson(const FirmwareLogModel& model);
Json ConfigDumpJson(const ConfigDumpModel& model);

}  // namespace vt
