#include <cstdio>

#include "access/disk_enumeration.h"
#include "cli/commands.h"
#include "platform/backend.h"

namespace vt::cli {

void AddListCommand(CLI::App& app, const GlobalOptions& options, int& exit_status) {
    auto* list = app.add_subcommand("list", "List the disks and the drives found on them");
    list->callback([&options, &exit_status] {
        if (!InstallBackend(options)) {
            exit_status = kExitUsage;
            return;
        }
        DiskList disks;
        EnumerateDisks(disks);
        for (const auto& path : disks) std::printf("%s\n", path.c_str());
        for (const auto& path : disks) {
            if (const auto problem = CheckDeviceAccess(path)) {
                std::fprintf(stderr, "vtutil: %s\n", problem->c_str());
                exit_status = kExitNoDevice;
                return;
            }
        }
    });
}

}  // namespace vt::cli
