#pragma once
// What the tool learns about one disk on its way into the device list, and why it lists it or
// not: the answers of IDENTIFY or INQUIRY, the bridge, the vendor signature.

#include <string>
#include <vector>

namespace vt {

// Filled by Probe, except `listed`: the scan's verdict, which the caller sets (and then clears
// `reason`).
struct ProbeReport {
    std::string path;
    std::string bus;
    std::string interface_text;
    bool identify_read = false;
    std::string model, serial, firmware;
    int rotation_rate = -1;
    std::string inquiry_vendor, inquiry_product, tag;
    int bridge_kind = -1;
    bool vendor_signature = false;
    bool listed = false;
    std::string reason;
    std::vector<std::string> notes;
};

// Examines the disk at `path` through device slot 0, which the scan that follows rewrites.
ProbeReport Probe(const std::string& path, const std::string& bus);

}  // namespace vt
