#include <windows.h>

#include "platform/privileges.h"

namespace vt::platform {

// Raw drive access needs an elevated token: a member of Administrators runs with a filtered one
// until it asks for the full one (the program's manifest asks).
bool RunsAsRoot() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated =
        ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated != 0;
    ::CloseHandle(token);
    return elevated;
}

bool HasRawAccess() {
    return RunsAsRoot();
}

const char* PrivilegedAccountName() {
    return "administrator";
}

const char* HowToGetRawAccess() {
    return "raw drive access needs administrator rights (start the tool from a command prompt "
           "opened with \"Run as administrator\")";
}

}  // namespace vt::platform
