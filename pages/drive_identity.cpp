#include "pages/drive_identity.h"

#include "ctrl/read_system_info.h"
#include "platform/backend.h"

namespace vt {

DriveIdentity DriveIdentityOf(const DeviceRow& row, const std::string& path,
                              const SystemInfoRecord* system_info) {
    DriveIdentity id;
    id.number = row.device + 1u;
    id.path = path;
    id.bus = platform::BusOfPath(path);
    id.interface_name = row.interface_name;
    id.model = row.model;
    id.serial = row.serial;
    id.firmware = row.firmware;
    id.capacity_bytes = row.capacity_bytes;
    id.capacity_mb = row.capacity_mb;
    if (system_info) {
        id.controller_model = std::string(ControllerModel(*system_info));
        id.controller_build = std::string(1, ControllerBuild(*system_info));
    }
    return id;
}

}  // namespace vt
