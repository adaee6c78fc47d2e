#include <cstdio>

#include "cli/commands.h"
#include "views/backend_choice.h"

namespace vt::cli {

bool InstallBackend(const GlobalOptions& options) {
    std::string error;
    if (InstallBackend(options, error)) return true;
    std::fprintf(stderr, "vtutil: %s\n", error.c_str());
    return false;
}

bool InstallBackend(const GlobalOptions& options, std::string& error) {
    return InstallChosenBackend(options.bench_file, options.demo, error);
}

}  // namespace vt::cli
