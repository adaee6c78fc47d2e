#pragma once
// Whether the process runs with the rights raw drive access normally needs.

namespace vt::platform {

// True when the process runs as the system's administrator (root; on Windows an elevated
// administrator): a refusal then has a cause other than missing rights.
bool RunsAsRoot();
// True when this process may send any command to a drive: it holds CAP_SYS_RAWIO (on Windows:
// it is elevated).
bool HasRawAccess();

// For messages: the account that has those rights, and how a user gets them.
const char* PrivilegedAccountName();
const char* HowToGetRawAccess();

}  // namespace vt::platform
