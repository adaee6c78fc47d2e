#include <cstdio>

#include "cli/commands.h"
#include "views/backend_choice.h"

namespace vt::cli {

bool InstallBackend(const GlobalOptions& options) {
    std::string error;
    if (InstallChosenBackend(options.bench_file, options.demo, error)) return true;
    std::fprintf(stderr, "vtutil: %s\n", error.c_str());
    return false;
}

}  // namespace vt::cli
