// The IDENTIFY sector, a bridge's INQUIRY answer and the USB configuration fields, each from the
// whole input.

#include <cstdint>
#include <span>

#include "fuzz/fuzz_drive.h"
#include "report/identify_texts.h"

namespace {

volatile std::size_t sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    sink = vt::IdentifyPageTexts(vt::fuzz::Front(input, vt::kIdentifySize)).edits.size();
    sink = vt::IsBridgeLoaderInquiry(input);
    sink = vt::UsbConfigTexts(input).edits.size();
    if (size >= 12) {
        std::uint64_t bytes = 0;
        for (std::size_t i = 0; i < 8; ++i) bytes = bytes << 8 | data[4 + i];
        const auto mb = static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                                   static_cast<std::uint32_t>(data[3]) << 24);
        sink = vt::UsbCapacityTexts(mb, bytes).edits.size();
    }
    return 0;
}
