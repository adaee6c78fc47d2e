#pragma once
// What a USB mass-storage function written with FunctionFS tells the kernel: its descriptors and
// strings (written to ep0 before the gadget binds), and how it answers the control requests that
// reach it (GET MAX LUN, Bulk-Only Mass Storage Reset).

#include <cstdint>
#include <string>
#include <vector>

namespace vt::serve {

// One interface of class mass storage, subclass SCSI, protocol Bulk-Only, with a bulk-in
// endpoint (the function's first endpoint file) and a bulk-out endpoint (its second), at full
// and high speed.
std::vector<std::uint8_t> MassStorageDescriptors();
// The interface's name, in US English.
std::vector<std::uint8_t> FunctionStrings(const std::string& interface_name);

struct SetupRequest {
    std::uint8_t request_type = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0, index = 0, length = 0;
};

struct SetupAnswer {
    enum class Kind {
        Data,   // IN: write `data` to ep0
        Ack,    // OUT without data: read nothing from ep0 (the status stage)
        Stall,  // not a request of this function
    } kind = Kind::Stall;
    std::vector<std::uint8_t> data;
    bool reset = false;  // the host reset the Bulk-Only transport
};

SetupAnswer AnswerSetup(const SetupRequest& setup);

}  // namespace vt::serve
