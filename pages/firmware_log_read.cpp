#include "pages/firmware_log_read.h"

#include <algorithm>

#include "access/debug_msg.h"
#include "access/raw_dump.h"
#include "pages/firmware_log.h"
#include "vendor/catalogue.h"
#include "vendor/code_loading.h"

namespace vt {
namespace {

constexpr unsigned kSectorBytes = 512;
constexpr std::uint8_t kControllerMemory = 3;
constexpr unsigned kDramLayoutSectors = 128;
// The serial-flash copies are read at these sizes whatever lengths the header gives.
constexpr unsigned kSpiErrLogSectors = 4;
constexpr unsigned kSpiUartLogSectors = 16;

// Loads the GDP program and reads the serial-flash header; nullopt when the load fails or the
// image tag is not one the view knows.
std::optional<SpiFlashHeader> LoadAndCheckSpiHeader(unsigned device,
                                                    std::span<std::uint8_t> buffer) {
    std::optional<std::string> tag;
    SpiFlashHeader header;
    std::uint8_t flag = 0;
    if (LoadGDP(device, buffer, flag, 0)) {
        // A failed read must not leave what an earlier read put in the shared buffer to be taken
        // for the header.
        std::fill_n(buffer.begin(), std::min<std::size_t>(buffer.size(), kSpiHeaderSize), 0);
        (void)VC_ReadSpiFlash(device, buffer, 0, kSpiHeaderSize, 1);
        header = DecodeSpiFlashHeader(buffer.first(kSpiHeaderKept));
        DumpRawFile("SPI.raw", buffer.first(kSpiHeaderSize));
        tag = AcceptedSpiTag(header);
    }
    if (!tag) return std::nullopt;
    DebugMsg("%s", tag->c_str());
    return header;
}

// The layout record's locations when it is wanted, readable and within the buffer; the fixed
// locations otherwise. The loader form takes only the ring's size from it.
LogLocations ChooseLogLocations(unsigned device, std::span<std::uint8_t> buffer,
                                bool use_dram_layout, bool loader) {
    if (!use_dram_layout || VC_ReadDramLayout(device, buffer, kDramLayoutSectors) != 1) {
        return FixedLogLocations();
    }
    const auto layout = DecodeDramLayout(buffer);
    if (!layout) return FixedLogLocations();
    for (const auto& line : DramLayoutDebugLines(*layout)) DebugMsg("%s", line.c_str());
    auto checked = LogLocationsOf(*layout);
    if (loader) checked.err_log_size = 0;
    if (!LocationsFit(checked, buffer.size())) {
        DebugMsg("DRAM layout record out of range, fixed log locations used\r\n");
        return FixedLogLocations();
    }
    return LogLocationsOf(*layout);
}

// A read of memory in whole sectors; a size below one sector reads nothing and counts as failed.
bool ReadControllerMemory(unsigned device, std::uint32_t address, std::uint32_t size,
                          std::span<std::uint8_t> buffer) {
    const unsigned sectors = size / kSectorBytes;
    return sectors > 0 && VC_ReadMemory(device, kControllerMemory, address, buffer, sectors) == 1;
}

}  // namespace

FirmwareLogRead ReadFirmwareLog(unsigned device, std::span<std::uint8_t> buffer, bool loader,
                                bool use_dram_layout) {
    SpiFlashHeader header;
    if (loader) {
        const auto checked = LoadAndCheckSpiHeader(device, buffer);
        if (!checked) return {std::nullopt, "SPI TAG is error"};
        header = *checked;
    }

    const LogLocations locations = ChooseLogLocations(device, buffer, use_dram_layout, loader);
    const std::uint32_t ring_size = locations.uart_log_size;

    bool err_log_read = false;
    if (loader) {
        err_log_read = VC_ReadSpiFlash(device, buffer, header.err_log_address,
                                       header.err_log_length, kSpiErrLogSectors) == 1;
        DumpRawFile("SPI_LogError.raw", buffer.first(kSpiErrLogSectors * kSectorBytes));
    } else {
        err_log_read =
            ReadControllerMemory(device, locations.err_log_address, locations.err_log_size, buffer);
    }
    // Without the record the walk starts at the ring's first byte, as for a head mark of 0.
    std::uint32_t start = 0;
    if (err_log_read) {
        const auto record = DecodeDbgErrLog(buffer);
        DebugMsg("pDbgErrLog->dwDbgLogIdx = %x", record.dwDbgLogIdx);
        DebugMsg("pDbgErrLog->wDbgLogHeadMark = %x", record.wDbgLogHeadMark);
        start = UartLogStart(record);
    }

    bool ring_read = false;
    if (loader) {
        ring_read = VC_ReadSpiFlash(device, buffer, header.uart_log_address, header.uart_log_length,
                                    kSpiUartLogSectors) == 1;
        DumpRawFile("SPI_UartLog.raw", buffer.first(kSpiUartLogSectors * kSectorBytes));
    } else {
        ring_read = ReadControllerMemory(device, locations.uart_log_address, ring_size, buffer);
    }
    if (!ring_read) return {};

    const auto ring = buffer.first(ring_size);
    FirmwareLogModel model{loader, ring_size, start, UnrollUartLog(ring, start)};
    DumpRawFile("ErrLog.raw", ring);
    return {std::move(model), {}};
}

}  // namespace vt
