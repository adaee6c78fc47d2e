#include "platform/system_backend.h"
#include "platform/windows_backend.h"

namespace vt::platform {

std::unique_ptr<Backend> MakeSystemBackend() {
    return std::make_unique<WindowsBackend>(MakeWin32Calls());
}

}  // namespace vt::platform
