#include <cstdio>

#include "cli/commands.h"
#include "platform/backend.h"
#include "sim/bench.h"

namespace vt::cli {

bool InstallBackend(const GlobalOptions& options) {
    if (options.demo) {
        platform::Install(sim::MakeDemoBench());
        return true;
    }
    if (!options.bench_file.empty()) {
        std::string error;
        auto bench = sim::LoadBenchFile(options.bench_file, error);
        if (!bench) {
            std::fprintf(stderr, "vtutil: %s\n", error.c_str());
            return false;
        }
        platform::Install(std::move(bench));
    }
    return true;  // the Linux backend is the default
}

}  // namespace vt::cli
