#include "vendor/system_info.h"

namespace vt {

SystemInfoRecord SystemInfo{};

}  // namespace vt
