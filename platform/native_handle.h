#pragma once
// A handle of the system's own kind, held by the portable headers without naming the system: a
// file descriptor on Linux, a HANDLE on Windows (whose INVALID_HANDLE_VALUE is -1 as well).

#include <cstdint>

namespace vt::platform {

using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

}  // namespace vt::platform
