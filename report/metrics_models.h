#pragma once
// The metrics of one drive from what its refresh read: its identity, the page models and the
// controller's mode.

#include "pages/drive_identity.h"
#include "pages/page_models.h"
#include "report/drive_metrics.h"

namespace vt {

// `loader`: the controller answered as its loader before the refresh.
DriveMetrics DriveMetricsOf(const DriveIdentity& drive, const PageModels& models, bool loader);

}  // namespace vt
