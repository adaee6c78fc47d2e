#pragma once
// Whether the process runs with the rights raw drive access normally needs.

namespace vt::platform {

// True when the effective user is root: a refusal then has a cause other than missing rights.
bool RunsAsRoot();

}  // namespace vt::platform
