#include <cstdio>

#include "cli/commands.h"

namespace vt::cli {

bool InstallBackend(const GlobalOptions& options) {
    if (!options.bench_file.empty() || options.demo) {
        std::fprintf(stderr, "vtutil: the virtual drive bench is not part of this build\n");
        return false;
    }
    return true;  // the Linux backend is the default
}

}  // namespace vt::cli
