#include "access/raw_dump.h"

#include "access/mode_flags.h"
#include "platform/files.h"

namespace vt {

void DumpRawFile(const std::string& name, std::span<const std::uint8_t> data) {
    if (!RawDumpEnabled) return;
    platform::WriteWholeFile(name, data);
}

}  // namespace vt
