// The firmware's logs: the serial-flash header, the DRAM layout record and the error log record
// from the front of the input, and the UART ring (the rest) unrolled from the position they give.

#include <cstdint>
#include <span>

#include "fuzz/fuzz_drive.h"
#include "pages/firmware_log.h"

namespace {

volatile std::size_t sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const vt::SpiFlashHeader header =
        vt::DecodeSpiFlashHeader(vt::fuzz::Front(input, vt::kSpiHeaderSize));
    sink = vt::AcceptedSpiTag(header).value_or("").size();

    vt::LogLocations where = vt::FixedLogLocations();
    if (const auto layout = vt::DecodeDramLayout(vt::fuzz::Front(input, vt::kDramLayoutSize))) {
        sink = vt::DramLayoutDebugLines(*layout).size();
        where = vt::LogLocationsOf(*layout);
    }
    const auto ring = input.size() > vt::kDramLayoutSize ? input.subspan(vt::kDramLayoutSize)
                                                         : std::span<const std::uint8_t>{};
    sink = vt::LocationsFit(where, ring.size());
    const vt::DbgErrLogRecord record = vt::DecodeDbgErrLog(input.subspan(size > 8 ? 8 : size));
    sink = vt::UnrollUartLog(ring, vt::UartLogStart(record)).size();
    sink = vt::UnrollUartLog(ring, header.uart_log_address).size();
    return 0;
}
