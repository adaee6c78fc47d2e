#pragma once
// What the Windows forms of the platform services share: paths for the wide-character calls and
// the words for a failed call.

#include <windows.h>

#include <optional>
#include <string>

namespace vt::platform {

// The UTF-16 form of a path, or nullopt for one that is not UTF-8 or holds a NUL (which would
// cut the name short).
std::optional<std::wstring> WidePath(const std::string& path);
std::string NarrowText(const std::wstring& text);

// The errno value that means what a Win32 error code means, for callers that test for one
// (ENOENT for a missing file); EIO for the codes without an equivalent.
int ErrnoOf(DWORD error);
// A failed call's reason: strerror's words where there is an errno equivalent, so messages read
// the same on every system, else the system's own text with its code.
std::string SystemErrorText(DWORD error);

}  // namespace vt::platform
