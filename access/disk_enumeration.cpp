#include "access/disk_enumeration.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "access/ata_passthrough.h"
#include "access/ata_strings.h"
#include "access/device_tables.h"
#include "access/request_outcome.h"
#include "platform/backend.h"
#include "platform/error_codes.h"
#include "platform/helper_protocol.h"

namespace vt {

// The helper's disk list and the bench's drive limit hold as many disks as this list.
static_assert(kMaxDiskPaths == platform::helper::kMaxDisks);

int EnumerateDisks(DiskList& list) {
    list.clear();
    for (const auto& disk : platform::Current().ListDisks()) {
        if (list.size() >= kMaxDiskPaths) break;
        if (disk.path.size() > kMaxDiskPathLength) continue;
        list.push_back(disk.path);
    }
    return static_cast<int>(list.size());
}

int RescanBuses() {
    std::string report;
    const bool ok = platform::Current().Rescan(report);
    if (!report.empty()) std::fputs(report.c_str(), stdout);
    return ok ? 1 : 0;
}

bool IsWindows8() {
    const auto version = platform::Current().VersionOfSystem();
    return version && version->major == 6 && version->minor == 2;
}

int FindDriveLetter(const std::string& path, char& letter) {
    const auto found = platform::Current().DriveLetterOf(path);
    if (!found) return 0;
    letter = *found;
    return 1;
}

int GetStorageDeviceNumber(const std::string& path, StorageDeviceNumber& number) {
    const auto found = platform::Current().DeviceNumberOf(path);
    if (!found) return 0;
    number.DeviceType = found->major;
    number.DeviceNumber = found->minor;
    number.PartitionNumber = 0;
    return 1;
}

bool IdentifyViaDriver(const std::string& path, int index, int interface_kind,
                       std::span<std::uint8_t> buffer, int length) {
    if (interface_kind != DEVICE_IDE && interface_kind != DEVICE_SCSI) return false;
    if (length != 512 || buffer.size() < 512) return false;
    std::array<std::uint8_t, 512> data{};
    // The disk driver's own interface where the system has one, else a pass-through command.
    const int error = platform::Current().IdentifyThroughDriver(path, index, data);
    if (error == ENOTSUP) {
        const std::uint8_t device = (index & 1) ? 0xB0 : 0xA0;
        TaskFile task_file{0, 1, 0, 0, 0, device, 0xEC, 0};
        if (ReadATACommandWithTimeOutValue(path, task_file, data, 512, 10) != 1) return false;
    } else if (error != 0) {
        return false;
    }
    std::copy(data.begin(), data.end(), buffer.begin());
    SwapAndTrim(buffer.subspan(54, 40));
    SwapAndTrim(buffer.subspan(46, 8));
    SwapAndTrim(buffer.subspan(20, 20));
    return true;
}

std::optional<std::string> CheckDeviceAccess(const std::string& path) {
    platform::DeviceHandle device(path);
    if (!device.IsOpen()) {
        const int error = device.Error();
        if (IsRightsError(error)) return RightsMessage(path, error);
        // A card reader without a card is no drive to service.
        if (error == platform::kNoMedium) return std::nullopt;
        return "Cannot open " + path + ": " + std::strerror(error);
    }
    platform::AtaRequest check_power;
    check_power.task_file = {0, 0, 0, 0, 0, 0xA0, 0xE5, 0};
    check_power.timeout_ms = TimeoutMs(10);
    const int error = device.AtaPassThrough(check_power);
    if (IsRightsError(error)) return RightsMessage(path, error);
    return std::nullopt;
}

}  // namespace vt
