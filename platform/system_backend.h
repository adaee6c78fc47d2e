#pragma once
// The backend of the system the program runs on: the kernel's disks on Linux, the storage
// drivers' pass-through on Windows. Each system's build supplies it.

#include <memory>

#include "platform/backend.h"

namespace vt::platform {

std::unique_ptr<Backend> MakeSystemBackend();

}  // namespace vt::platform
