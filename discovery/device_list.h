#pragma once
// The device list as the scan leaves it: the rows of the list view and the lines of the (hidden)
// combo box, Qt-free, so the window, the headless window and vtutil show the same thing.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vt {

// Columns: "Disk", "Model", "Serial No.", "FW Rev.", "Capacity(GB)", "Interface".
struct DeviceRow {
    std::array<std::string, 6> cells;
    // The device number of the drive the row shows. Not always the row's index: a drive behind an
    // older bridge takes a number but no row.
    std::uint8_t device = 0;
    // What the capacity column shows, as numbers: in MiB (the column is this / 1024) and in bytes.
    std::uint64_t capacity_mb = 0;
    std::uint64_t capacity_bytes = 0;
    // What the model, serial, firmware and interface columns show, as the scan found them: the
    // IDENTIFY strings (Latin-1; model and serial trimmed) and the interface's name.
    std::string model, serial, firmware, interface_name;
};

struct DeviceListRecord {
    std::vector<DeviceRow> rows;
    std::vector<std::string> combo_lines;
    // Device numbers handed out: 0 to accepted - 1 (with or without a row).
    std::uint8_t accepted = 0;
    // Problems a user must hear about instead of an unexplained empty list (missing rights).
    std::vector<std::string> notices;
};

}  // namespace vt
