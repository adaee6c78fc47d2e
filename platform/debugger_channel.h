#pragma once
// The system's channel for a debugger attached to the process (a debug-output viewer on Windows).

namespace vt::platform {

// Sends the text when the system has such a channel; Linux has none, and drops it.
void SendToDebugger(const char* text);

}  // namespace vt::platform
