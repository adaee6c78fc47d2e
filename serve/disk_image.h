#pragma once
// A drive's user sectors as a file: what was written, at its place, the rest a hole.

#include <string>

#include "sim/virtual_drive.h"

namespace vt::serve {

bool WriteUserImage(const sim::VirtualDrive& drive, const std::string& path, std::string& error);

}  // namespace vt::serve
