#pragma once
// The metrics of one drive from what its refresh read: the list row, the page models and the
// controller's mode.

#include "cli/drive_metrics.h"
#include "cli/form_session.h"

namespace vt::cli {

// `row`: the drive's row of the list. `loader`: the controller answered as its loader before the
// refresh.
DriveMetrics DriveMetricsOf(FormSession& session, std::size_t row, bool loader);

}  // namespace vt::cli
