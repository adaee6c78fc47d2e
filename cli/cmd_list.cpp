// vtutil list: the device list as the window shows it (rows and combo lines), each drive with its
// device path, and every disk the system enumerates.

#include <cstdio>

#include "access/device_tables.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/terminal_text.h"
#include "discovery/device_scan.h"
#include "platform/backend.h"
#include "report/json_document.h"
#include "views/headless_presentation.h"

namespace vt::cli {

void AddListCommand(Subcommands& commands, const GlobalOptions& options, int& exit_status) {
    auto* list = commands.Add("list", "List the drives found (rows and combo lines) and the disks");
    if (!list) return;
    static bool json = false;
    list->add_flag("--json", json, "One JSON document");
    list->callback([&options, &exit_status] {
        std::string error;
        if (!InstallBackend(options, error)) {
            exit_status = ReportFailure(json || options.json, error, kExitUsage);
            return;
        }
        const auto record = ScanDevices();
        const auto disks = platform::Current().ListDisks();
        if (json || options.json) {
            auto document = JsonDocument();
            document["rows"] = Json::array();
            for (const auto& row : record.rows)
                document["rows"].push_back(
                    ListRowJson(DriveIdentityOf(row, DriveInfoOf(row.device).Path)));
            document["combo_lines"] = Json::array();
            for (const auto& line : record.combo_lines)
                document["combo_lines"].push_back(JsonText(line));
            document["disks"] = Json::array();
            for (const auto& disk : disks)
                document["disks"].push_back(
                    {{"path", JsonText(disk.path)}, {"bus", JsonText(disk.bus)}});
            document["notices"] = Json::array();
            for (const auto& notice : record.notices)
                document["notices"].push_back(Latin1ToUtf8(notice));
            PrintJson(document);
        } else {
            std::printf(
                "Disk  Model                                     Serial No.            FW Rev.   "
                "Capacity(GB)  Interface     Path\n");
            for (const auto& row : record.rows) {
                std::vector<std::string> c;
                for (const auto& cell : row.cells) c.push_back(TerminalText(cell));
                std::printf("%-5s %-41s %-21s %-9s %-13s %-13s %s\n", c[0].c_str(), c[1].c_str(),
                            c[2].c_str(), c[3].c_str(), c[4].c_str(), c[5].c_str(),
                            TerminalText(DriveInfoOf(row.device).Path).c_str());
            }
            std::printf("\nDevice list:\n");
            for (const auto& line : record.combo_lines) PrintLine("  " + line);
            std::printf("\nDisks:\n");
            for (const auto& disk : disks) PrintLine(disk.path + " " + disk.bus);
        }
        for (const auto& notice : record.notices) Warn(notice);
        if (!record.notices.empty()) exit_status = kExitNoDevice;
    });
}

}  // namespace vt::cli
