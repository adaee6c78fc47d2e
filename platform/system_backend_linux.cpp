#include "platform/linux_backend.h"
#include "platform/system_backend.h"

namespace vt::platform {

std::unique_ptr<Backend> MakeSystemBackend() {
    return std::make_unique<LinuxBackend>();
}

}  // namespace vt::platform
