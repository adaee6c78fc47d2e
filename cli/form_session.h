#pragma once
// One drive opened the way the window opens it: the scan, the row of the drive, the refresh. Every
// page command of vtutil reads what the same main form operations put on the headless window, so
// vtutil and the desktop program cannot disagree on a text.

#include <memory>
#include <optional>
#include <string>

#include "discovery/device_list.h"
#include "views/headless_presentation.h"
#include "views/main_form.h"

namespace vt::cli {

// The row of the scan's list that a DEVICE argument names: the number in the Disk column, the
// drive's path or its node; nullopt when none does.
std::optional<std::size_t> FindListedRow(const DeviceListRecord& record, const std::string& name);

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

  private:
    HeadlessPresentation ui_;
    DeviceListRecord record_;
    std::unique_ptr<TMainForm> form_;
    int row_ = -1;
    unsigned device_ = 0;
    std::size_t messages_seen_ = 0;
};

// An edit's text as one line: the line ends the window's edit boxes carry are dropped.
std::string EditLine(const std::string& text);

}  // namespace vt::cli
