// vtutil list: the device list as the window shows it (rows and combo lines), each drive with its
// device path, and every disk the system enumerates.

#include <cstdio>

#include "access/device_tables.h"
#include "cli/commands.h"
#include "discovery/device_scan.h"
#include "platform/backend.h"
#include "views/headless_presentation.h"

namespace vt::cli {

void AddListCommand(CLI::App& app, const GlobalOptions& options, int& exit_status) {
    auto* list =
        app.add_subcommand("list", "List the drives found (rows and combo lines) and the disks");
    static bool json = false;
    list->add_flag("--json", json, "One JSON document");
    list->callback([&options, &exit_status] {
        if (!InstallBackend(options)) {
            exit_status = kExitUsage;
            return;
        }
        const auto record = ScanDevices();
        const auto disks = platform::Current().ListDisks();
        if (json) {
            auto document = JsonDocument();
            document["rows"] = nlohmann::json::array();
            for (const auto& row : record.rows) {
                nlohmann::ordered_json r;
                r["device"] = row.device + 1;
                r["path"] = Latin1ToUtf8(DriveInfoOf(row.device).Path);
                for (std::size_t c = 0; c < row.cells.size(); ++c) {
                    static const char* const kColumns[] = {"disk",     "model",       "serial",
                                                           "firmware", "capacity_gb", "interface"};
                    r[kColumns[c]] = Latin1ToUtf8(row.cells[c]);
                }
                document["rows"].push_back(r);
            }
            document["combo_lines"] = nlohmann::json::array();
            for (const auto& line : record.combo_lines)
                document["combo_lines"].push_back(Latin1ToUtf8(line));
            document["disks"] = nlohmann::json::array();
            for (const auto& disk : disks)
                document["disks"].push_back({{"path", disk.path}, {"bus", disk.bus}});
            document["notices"] = record.notices;
            std::printf("%s\n", JsonText(document).c_str());
        } else {
            std::printf(
                "Disk  Model                                     Serial No.            FW Rev.   "
                "Capacity(GB)  Interface     Path\n");
            for (const auto& row : record.rows) {
                const auto& c = row.cells;
                std::printf("%-5s %-41s %-21s %-9s %-13s %-13s %s\n", c[0].c_str(), c[1].c_str(),
                            c[2].c_str(), c[3].c_str(), c[4].c_str(), c[5].c_str(),
                            DriveInfoOf(row.device).Path.c_str());
            }
            std::printf("\nDevice list:\n");
            for (const auto& line : record.combo_lines) std::printf("  %s\n", line.c_str());
            std::printf("\nDisks:\n");
            for (const auto& disk : disks)
                std::printf("%s %s\n", disk.path.c_str(), disk.bus.c_str());
        }
        for (const auto& notice : record.notices)
            std::fprintf(stderr, "vtutil: %s\n", notice.c_str());
        if (!record.notices.empty()) exit_status = kExitNoDevice;
    });
}

}  // namespace vt::cli
