#pragma once
// Whether the process runs with the rights raw drive access normally needs.

namespace vt::platform {

// True when the effective user is root: a refusal then has a cause other than missing rights.
bool RunsAsRoot();
// True when this process may send any command to a drive: it holds CAP_SYS_RAWIO.
bool HasRawAccess();

}  // namespace vt::platform
