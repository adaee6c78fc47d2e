#include <cstdlib>

#include "tests/support/test_system.h"

namespace vt::test {

const char* NullDevice() {
    return "NUL";
}

LibraryExport SystemLibraryExport() {
    return {"kernel32.dll", "GetTickCount"};
}

bool MakeFifo(const std::string&) {
    return false;  // Windows has no FIFOs in its file system
}

void SetEnvironment(const std::string& name, const std::string& value) {
    ::_putenv_s(name.c_str(), value.c_str());
}

void UnsetEnvironment(const std::string& name) {
    ::_putenv_s(name.c_str(), "");
}

// Windows has no limit of the kind.
FileSizeLimit::FileSizeLimit(unsigned long) {}

FileSizeLimit::~FileSizeLimit() = default;

}  // namespace vt::test
