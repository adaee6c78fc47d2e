#include "cli/metrics_models.h"

#include "access/device_tables.h"
#include "ctrl/read_system_info.h"

namespace vt::cli {

DriveMetrics DriveMetricsOf(FormSession& session, std::size_t row, bool loader) {
    DriveMetrics d;
    const auto& cells = session.record().rows.at(row).cells;
    d.disk = cells[0];
    d.model = cells[1];
    d.serial = cells[2];
    d.firmware = cells[3];
    d.interface_name = cells[5];
    d.path = DriveInfoOf(session.device()).Path;
    d.mode = loader ? ControllerMode::Loader : ControllerMode::Firmware;
    if (!loader) {
        d.controller_model = std::string(ControllerModel(SystemInfo));
        d.controller_build = std::string(1, static_cast<char>(SystemInfo.FwInfo[6]));
    }
    d.read_ok = !loader;
    return d;
}

}  // namespace vt::cli
