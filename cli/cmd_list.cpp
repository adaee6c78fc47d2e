#include <cstdio>

#include "access/disk_enumeration.h"
#include "cli/commands.h"
#include "platform/backend.h"

namespace vt::cli {

void AddListCommand(CLI::App& app, const GlobalOptions& options, int& exit_status) {
    auto* list = app.add_subcommand("list", "List the disks the system enumerates, with their bus");
    list->callback([&options, &exit_status] {
        if (!InstallBackend(options)) {
            exit_status = kExitUsage;
            return;
        }
        const auto disks = platform::Current().ListDisks();
        for (const auto& disk : disks) std::printf("%s %s\n", disk.path.c_str(), disk.bus.c_str());
        for (const auto& disk : disks) {
            if (const auto problem = CheckDeviceAccess(disk.path)) {
                std::fprintf(stderr, "vtutil: %s\n", problem->c_str());
                exit_status = kExitNoDevice;
                return;
            }
        }
    });
}

}  // namespace vt::cli
