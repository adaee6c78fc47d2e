#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>

#include "tests/support/test_system.h"

namespace vt::test {
namespace {

void (*previous_xfsz)(int) = nullptr;

}  // namespace

const char* NullDevice() {
    return "/dev/null";
}

LibraryExport SystemLibraryExport() {
    return {"libc.so.6", "strlen"};
}

bool MakeFifo(const std::string& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

void SetEnvironment(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnvironment(const std::string& name) {
    ::unsetenv(name.c_str());
}

// RLIMIT_FSIZE holds even for root; the signal it raises is ignored so the write fails instead.
FileSizeLimit::FileSizeLimit(unsigned long bytes) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
    previous_ = limit.rlim_cur;
    previous_xfsz = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    if (!ok_) return;
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = previous_;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous_xfsz);
}

}  // namespace vt::test
