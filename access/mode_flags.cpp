#include "access/mode_flags.h"

namespace vt {

bool SpecialMode = false;
bool DebugFileEnabled = false;
bool RawDumpEnabled = false;

}  // namespace vt
