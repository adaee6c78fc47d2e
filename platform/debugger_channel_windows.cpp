#include <windows.h>

#include "platform/debugger_channel.h"

namespace vt::platform {

void SendToDebugger(const char* text) {
    ::OutputDebugStringA(text);
}

}  // namespace vt::platform
