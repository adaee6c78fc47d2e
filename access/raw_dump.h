#pragma once
// Raw dump files of controller data, written to the working directory only while raw dumps are on.

#include <cstdint>
#include <span>
#include <string>

namespace vt {

// Creates or replaces the file and writes the bytes when RawDumpEnabled is set; otherwise does
// nothing. Errors are ignored: a dump is a by-product, never a reason for a read to fail. A
// symbolic link planted at the name is not followed.
void DumpRawFile(const std::string& name, std::span<const std::uint8_t> data);

}  // namespace vt
