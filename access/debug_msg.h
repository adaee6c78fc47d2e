#pragma once
// The debug message writer through which every layer reports low-level failures.

#include "platform/format_check.h"

namespace vt {

// printf-style; the text (cut to 1023 characters) goes to standard error while VTUTIL_DEBUG is set
// and, while DebugFileEnabled is set, is appended to "DbgMsg.txt" in the working directory. Never
// fails towards the caller; no line end is added.
void DebugMsg(const char* format, ...) VT_PRINTF_FORMAT(1, 2);

inline constexpr const char* kDebugFileName = "DbgMsg.txt";

}  // namespace vt
