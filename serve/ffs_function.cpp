#include "serve/ffs_function.h"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

namespace vt::serve {
namespace {

constexpr std::uint8_t kClassMassStorage = 0x08;
constexpr std::uint8_t kSubclassScsi = 0x06;
constexpr std::uint8_t kProtocolBulkOnly = 0x50;
constexpr std::uint8_t kGetMaxLun = 0xFE;
constexpr std::uint8_t kBulkOnlyReset = 0xFF;

void PutLe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void SetLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutInterfaceAndEndpoints(std::vector<std::uint8_t>& out, std::uint16_t max_packet) {
    out.insert(out.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, kClassMassStorage,
                           kSubclassScsi, kProtocolBulkOnly, 1});
    for (const std::uint8_t address :
         {std::uint8_t{1 | USB_DIR_IN}, std::uint8_t{2 | USB_DIR_OUT}}) {
        out.insert(out.end(),
                   {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK});
        PutLe16(out, max_packet);
        out.push_back(0);
    }
}

}  // namespace

std::vector<std::uint8_t> MassStorageDescriptors() {
    std::vector<std::uint8_t> out;
    PutLe32(out, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    PutLe32(out, 0);  // the length, once known
    PutLe32(out, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    PutLe32(out, 3);  // full-speed descriptors
    PutLe32(out, 3);  // high-speed descriptors
    PutInterfaceAndEndpoints(out, 64);
    PutInterfaceAndEndpoints(out, 512);
    SetLe32(out, 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

std::vector<std::uint8_t> FunctionStrings(const std::string& interface_name) {
    std::vector<std::uint8_t> out;
    PutLe32(out, FUNCTIONFS_STRINGS_MAGIC);
    PutLe32(out, 0);
    PutLe32(out, 1);  // strings per language
    PutLe32(out, 1);  // languages
    PutLe16(out, 0x0409);
    out.insert(out.end(), interface_name.begin(), interface_name.end());
    out.push_back(0);
    SetLe32(out, 4, static_cast<std::uint32_t>(out.size()));
    return out;
}

SetupAnswer AnswerSetup(const SetupRequest& setup) {
    constexpr std::uint8_t kClassInterface = USB_TYPE_CLASS | USB_RECIP_INTERFACE;
    SetupAnswer answer;
    if (setup.request_type == (USB_DIR_IN | kClassInterface) && setup.request == kGetMaxLun &&
        setup.value == 0 && setup.length >= 1) {
        answer.kind = SetupAnswer::Kind::Data;
        answer.data = {0};  // one LUN
    } else if (setup.request_type == (USB_DIR_OUT | kClassInterface) &&
               setup.request == kBulkOnlyReset && setup.value == 0 && setup.length == 0) {
        answer.kind = SetupAnswer::Kind::Ack;
        answer.reset = true;
    }
    return answer;
}

}  // namespace vt::serve
