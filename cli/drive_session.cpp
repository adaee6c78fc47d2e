#include "cli/drive_session.h"

#include "access/device_tables.h"
#include "discovery/device_scan.h"

namespace vt::cli {

bool DriveSession::Select(const std::string& name, std::string& error) {
    record_ = ScanDevicesFor(name);
    if (const auto row = FindListedRow(record_, name)) {
        row_ = *row;
        hold_ = std::make_unique<platform::DriveLock>(path());
        return true;
    }
    error = "no listed drive " + name + " (see `vtutil list`)";
    for (const auto& notice : record_.notices) error += "\n" + notice;
    return false;
}

const std::string& DriveSession::path() const {
    return DriveInfoOf(device()).Path;
}

}  // namespace vt::cli
