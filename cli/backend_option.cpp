#include "cli/global_options.h"
#include "cli/terminal_text.h"
#include "views/backend_choice.h"

namespace vt::cli {

bool InstallBackend(const GlobalOptions& options) {
    std::string error;
    if (InstallBackend(options, error)) return true;
    Warn(error);
    return false;
}

bool InstallBackend(const GlobalOptions& options, std::string& error) {
    return InstallChosenBackend(options.bench_file, options.demo, error);
}

}  // namespace vt::cli
