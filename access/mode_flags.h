#pragma once
// Process-wide mode flags: false at start, set by special mode (and raw dumps by the command line),
// never cleared while the process runs.

namespace vt {

extern bool SpecialMode;
extern bool DebugFileEnabled;
extern bool RawDumpEnabled;

}  // namespace vt
