#pragma once
// One drive opened the way the window opens it: the scan, the row of the drive, the refresh. Every
// page command of vtutil renders the models the same main form operations read, so vtutil and the
// desktop program cannot disagree on a text.

#include <memory>
#include <optional>
#include <string>

#include "discovery/device_list.h"
#include "pages/drive_identity.h"
#include "platform/backend.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace vt::cli {

class FormSession {
  public:
    explicit FormSession(HeadlessOptions options = {}, std::string program_dir = {});

    // Finds the drive: the number shown in the "Disk" column, or a device path (as `vtutil list`
    // prints it, or its node). False, with the reason, when there is no such listed drive.
    bool Select(const std::string& device, std::string& error);
    // The refresh for the selected drive, as a click on its row runs it.
    void Refresh();

    HeadlessPresentation& ui() { return ui_; }
    TMainForm& form() { return *form_; }
    const DeviceListRecord& record() const { return record_; }
    unsigned device() const { return device_; }
    // Messages shown since the last call, in order.
    std::vector<std::string> TakeMessages();
    // The list row of the selected drive and its path.
    const DeviceRow& row() const { return record_.rows.at(static_cast<std::size_t>(row_)); }
    const std::string& path() const;
    // The selected drive as the scan found it, its controller once the refresh read it.
    DriveIdentity identity() const;

  private:
    HeadlessPresentation ui_;
    DeviceListRecord record_;
    std::unique_ptr<TMainForm> form_;
    int row_ = -1;
    unsigned device_ = 0;
    std::size_t messages_seen_ = 0;
    // The selected drive, held against other processes for the whole command.
    std::unique_ptr<platform::DriveLock> hold_;
};

}  // namespace vt::cli
