#include "views/backend_choice.h"

#include "platform/backend.h"
#include "sim/bench.h"

namespace vt {

bool InstallChosenBackend(const std::string& bench_file, bool demo, std::string& error) {
    if (demo) {
        platform::Install(sim::MakeDemoBench());
        return true;
    }
    if (!bench_file.empty()) {
        auto bench = sim::LoadBenchFile(bench_file, error);
        if (!bench) return false;
        platform::Install(std::move(bench));
    }
    return true;  // the system's own drives
}

}  // namespace vt
