#pragma once
// Error numbers a backend reports that not every C library names. Where one is missing, Linux's
// number stands in, so a debug file reads the same on every system.

#include <cerrno>

namespace vt::platform {

#ifdef ENOMEDIUM
inline constexpr int kNoMedium = ENOMEDIUM;  // a removable-media drive without its medium
#else
inline constexpr int kNoMedium = 123;
#endif

#ifdef EREMOTEIO
inline constexpr int kRemoteIo = EREMOTEIO;  // the device itself ended the request with an error
#else
inline constexpr int kRemoteIo = 121;
#endif

}  // namespace vt::platform
