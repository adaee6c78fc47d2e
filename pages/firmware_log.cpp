#include "pages/firmware_log.h"

#include <algorithm>
#include <cstring>

#include "pages/text_format.h"
#include "platform/byte_order.h"

namespace vt {
namespace {

constexpr const char* kAcceptedSpiTags[] = {"VTK38V00-001", "VTK38V00-002", "VTK38V00-003"};

constexpr std::uint32_t kFixedErrLogAddress = 0xDC000;
constexpr std::uint32_t kFixedErrLogSize = 0x800;
constexpr std::uint32_t kFixedUartLogAddress = 0xDC800;
constexpr std::uint32_t kFixedUartLogSize = 0x2000;

}  // namespace

SpiFlashHeader DecodeSpiFlashHeader(std::span<const std::uint8_t> header) {
    SpiFlashHeader out;
    std::copy_n(header.begin(), std::min(header.size(), out.tag.size()), out.tag.begin());
    out.err_log_address = Le32(header, 20);
    out.err_log_length = Le32(header, 24);
    out.uart_log_address = Le32(header, 28);
    out.uart_log_length = Le32(header, 32);
    return out;
}

std::optional<std::string> AcceptedSpiTag(const SpiFlashHeader& header) {
    for (const char* tag : kAcceptedSpiTags) {
        if (std::memcmp(header.tag.data(), tag, kSpiTagLength) == 0) return std::string(tag);
    }
    return std::nullopt;
}

std::optional<DramLayoutInfo> DecodeDramLayout(std::span<const std::uint8_t> record) {
    if (record.size() < kDramLayoutSize) return std::nullopt;
    DramLayoutInfo out;
    out.SysInfoAddr = Le32(record, 4);
    out.SysInfoSize = Le32(record, 8);
    out.EraseCountAddr = Le32(record, 12);
    out.EraseCountSize = Le32(record, 16);
    out.DbgErrLogAddr = Le32(record, 20);
    out.DbgErrLogSize = Le32(record, 24);
    out.DbgUartLogAddr = Le32(record, 28);
    out.DbgUartLogSize = Le32(record, 32);
    return out;
}

std::vector<std::string> DramLayoutDebugLines(const DramLayoutInfo& layout) {
    return {
        Sprintf("pDramLayoutInfo->SysInfoAddr = %x", layout.SysInfoAddr),
        Sprintf("pDramLayoutInfo->SysInfoSize = %x", layout.SysInfoSize),
        Sprintf("pDramLayoutInfo->EraseCountAddr = %x", layout.EraseCountAddr),
        Sprintf("pDramLayoutInfo->EraseCountSize = %x", layout.EraseCountSize),
        Sprintf("pDramLayoutInfo->DbgErrLogAddr = %x", layout.DbgErrLogAddr),
        Sprintf("pDramLayoutInfo->DbgErrLogSize = %x", layout.DbgErrLogSize),
        Sprintf("pDramLayoutInfo->DbgUartLogAddr = %x", layout.DbgUartLogAddr),
        Sprintf("pDramLayoutInfo->DbgUartLogSize = %x", layout.DbgUartLogSize),
    };
}

LogLocations FixedLogLocations() {
    return {kFixedErrLogAddress, kFixedErrLogSize, kFixedUartLogAddress, kFixedUartLogSize};
}

LogLocations LogLocationsOf(const DramLayoutInfo& layout) {
    return {layout.DbgErrLogAddr, layout.DbgErrLogSize, layout.DbgUartLogAddr,
            layout.DbgUartLogSize};
}

bool LocationsFit(const LogLocations& locations, std::size_t buffer_size) {
    return locations.uart_log_size > 0 && locations.uart_log_size <= buffer_size &&
           locations.err_log_size <= buffer_size;
}

DbgErrLogRecord DecodeDbgErrLog(std::span<const std::uint8_t> record) {
    return {Le32(record, 16), Le16(record, 26)};
}

std::uint32_t UartLogStart(const DbgErrLogRecord& record) {
    return record.wDbgLogHeadMark == 0 ? 0 : record.dwDbgLogIdx;
}

std::vector<std::string> UnrollUartLog(std::span<const std::uint8_t> ring, std::uint32_t start) {
    std::vector<std::string> lines;
    const std::uint64_t size = ring.size();
    if (size == 0) return lines;
    const auto at = [&](std::uint64_t position) { return ring[position % size]; };
    const auto value_at = [&](std::uint64_t position) {
        return at(position) | at(position + 1) << 8;
    };

    // One pass: every byte of the ring is read once, the walk ends where it began.
    std::uint64_t i = start % size;
    const std::uint64_t end = i + size;
    std::string line;
    while (i < end) {
        const std::uint8_t byte = at(i);
        if (byte != kUartLogMarker) {
            line.push_back(static_cast<char>(byte));
            ++i;
            continue;
        }
        lines.push_back(std::move(line));
        line.clear();
        ++i;
        line = Sprintf("[%4.4d, %4.4d]", value_at(i), value_at(i + 2));
        i += 4;
    }
    lines.push_back(std::move(line));
    return lines;
}

}  // namespace vt
