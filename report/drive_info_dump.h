#pragma once
// The drive information dump written from the pages' models: the USB identity and the SSD
// settings as the Device Info and SSD Info pages show them.

#include <string>

#include "pages/page_models.h"

namespace vt {

// Writes program_dir/NAME.txt whole or not at all; a group whose page was not read is empty.
// Returns why it could not (a refused name, a failed write), empty when it was written.
[[nodiscard]] std::string WriteDriveInfoDump(const std::string& program_dir,
                                             const std::string& name, const PageModels& models);

}  // namespace vt
