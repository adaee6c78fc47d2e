// The page reader's dump of a page read from the drive, at the offset and length the page
// reader's boxes ask for, with the boxes' conversions; and the log decoder over the same bytes.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "tools/log_decoder.h"
#include "tools/nand_page_reader.h"

namespace {

volatile std::size_t sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    vt::PageReaderBoxes boxes;
    boxes.channel = input.ConsumeRandomLengthString(12);
    boxes.bank = input.ConsumeRandomLengthString(12);
    boxes.block_unit = input.ConsumeRandomLengthString(12);
    boxes.block = input.ConsumeRandomLengthString(12);
    boxes.page = input.ConsumeRandomLengthString(12);
    boxes.ecc24 = input.ConsumeBool();
    const auto channels = input.ConsumeIntegralInRange<unsigned>(0, 16);
    const auto sectors = input.ConsumeIntegralInRange<unsigned>(0, 64);
    vt::PageAddress address;
    try {
        (void)vt::SystemPageAddress(boxes);
        address = vt::FlashPageAddress(boxes, channels);
    } catch (const std::runtime_error&) {
        // A box the window refuses with its message.
    }
    sink = vt::RequiredBoxesFilled(boxes);
    const std::size_t needed = vt::FlashPageBufferSize(address, channels, sectors);
    const std::size_t offset = vt::FlashPageOffset(address, channels, sectors);
    const auto page = input.ConsumeRemainingBytes<std::uint8_t>();
    sink = vt::PageDumpLines(page, offset, std::size_t{sectors} * 512).size() + needed;
    sink = vt::PageDumpLines(page, 0, page.size()).size();
    sink = vt::DecodeLogBytes(page).size();
    return 0;
}
