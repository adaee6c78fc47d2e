#pragma once
// What some tests need of the system, spelt differently on each. A facility only Linux has fails
// on Windows; the tests that need it are left out of the Windows run by their folder's filter.

#include <string>

namespace vt::test {

// The system's device that swallows what is written: /dev/null, NUL.
const char* NullDevice();
// A library every process of the system can load, and a function it exports.
struct LibraryExport {
    const char* library;
    const char* function;
};
LibraryExport SystemLibraryExport();
// A FIFO at `path`; false where none could be made.
bool MakeFifo(const std::string& path);
void SetEnvironment(const std::string& name, const std::string& value);
void UnsetEnvironment(const std::string& name);

// While it lives, a file this process writes cannot grow past `bytes`: a write fails part way.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return ok_; }

  private:
    bool ok_ = false;
    unsigned long long previous_ = 0;
};

}  // namespace vt::test
