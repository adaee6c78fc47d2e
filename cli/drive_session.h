#pragma once
// The one drive a page command is about: found by a scan that stops at it, and held against
// other processes for the whole command.

#include <memory>
#include <optional>
#include <string>

#include "discovery/device_list.h"
#include "pages/drive_identity.h"
#include "platform/backend.h"

namespace vt::cli {

class DriveSession {
  public:
    // Finds the drive: the number shown in the "Disk" column, or a device path (as `vtutil list`
    // prints it, or its node). False, with the reason, when there is no such listed drive.
    bool Select(const std::string& name, std::string& error);

    unsigned device() const { return row().device; }
    const DeviceRow& row() const { return record_.rows.at(row_); }
    const std::string& path() const;
    // The drive as the scan found it; `system_info`, when read, names its controller.
    DriveIdentity identity(const SystemInfoRecord* system_info = nullptr) const {
        return DriveIdentityOf(row(), path(), system_info);
    }

  private:
    DeviceListRecord record_;
    std::size_t row_ = 0;
    std::unique_ptr<platform::DriveLock> hold_;
};

}  // namespace vt::cli
