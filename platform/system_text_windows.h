#pragma once
// What the Windows forms of the platform services share: the words for a failed call (paths for
// the wide-character calls come from wide_text.h).

#include <windows.h>

#include <optional>
#include <string>

#include "platform/wide_text.h"

namespace vt::platform {

// The errno value that means what a Win32 error code means, for callers that test for one
// (ENOENT for a missing file); EIO for the codes without an equivalent.
int ErrnoOf(DWORD error);
// A failed call's reason: strerror's words where there is an errno equivalent, so messages read
// the same on every system, else the system's own text with its code.
std::string SystemErrorText(DWORD error);

}  // namespace vt::platform
