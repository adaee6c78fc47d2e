#include "cli/form_session.h"

#include <algorithm>

#include "access/device_tables.h"
#include "discovery/device_scan.h"
#include "platform/backend.h"
#include "platform/files.h"

namespace vt::cli {

FormSession::FormSession(HeadlessOptions options, std::string program_dir)
    : ui_(std::move(options)) {
    FormEnvironment environment;
    environment.program_dir = program_dir.empty() ? platform::ProgramDirectory() : program_dir;
    environment.command_line = "vtutil";
    environment.scan = [this] {
        record_ = ScanDevices();
        return record_;
    };
    form_ = std::make_unique<TMainForm>(ui_, std::move(environment));
    form_->FormShow();
}

bool FormSession::Select(const std::string& device, std::string& error) {
    if (const auto row = FindListedRow(record_, device)) {
        row_ = static_cast<int>(*row);
        device_ = record_.rows[*row].device;
        hold_ = std::make_unique<platform::DriveLock>(DriveInfoOf(device_).Path);
        return true;
    }
    error = "no listed drive " + device + " (see `vtutil list`)";
    for (const auto& notice : record_.notices) error += "\n" + notice;
    return false;
}

void FormSession::Refresh() {
    TakeMessages();  // the scan's own notices were reported by Select
    form_->ClickDeviceRow(row_);
}

std::vector<std::string> FormSession::TakeMessages() {
    const auto& all = ui_.Messages();
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(messages_seen_),
                                   all.end());
    messages_seen_ = all.size();
    return fresh;
}

const std::string& FormSession::path() const {
    return DriveInfoOf(device_).Path;
}

DriveIdentity FormSession::identity() const {
    const auto& ssd_info = form_->models().ssd_info;
    return DriveIdentityOf(row(), path(), ssd_info ? &ssd_info->info : nullptr);
}

}  // namespace vt::cli
