#include "views/backend_choice.h"

#include <cstdlib>

#include "platform/backend.h"
#include "platform/helper_backend.h"
#include "platform/privileges.h"
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
        return true;
    }
    // A helper named in the environment is used always, and must start.
    const char* named = std::getenv("VTUTIL_HELPER");
    const bool required = named != nullptr && *named != '\0';
    if (!required && platform::HasRawAccess()) return true;  // the system's own drives, directly
    std::string why;
    if (auto helper = platform::StartSystemHelper(why)) {
        platform::Install(std::move(helper));
        return true;
    }
    if (required) {
        error = "the drive access helper did not start: " + why;
        return false;
    }
    // Refused or not installed: the drives' own errors then say that rights are missing.
    return true;
}

}  // namespace vt
