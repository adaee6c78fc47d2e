#pragma once
// The firmware's own logs from plain bytes: the serial-flash image header, the DRAM layout record,
// the error log record and the UART log ring unrolled into one line per log entry. Every value
// here comes from the drive, so every decoder reads only inside the bytes it is given.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vt {

inline constexpr std::size_t kSpiHeaderSize = 512;
// Later reads reuse the buffer, so only this much of the header is kept.
inline constexpr std::size_t kSpiHeaderKept = 64;
inline constexpr std::size_t kSpiTagLength = 12;
inline constexpr std::size_t kDramLayoutSize = 36;
inline constexpr std::uint8_t kUartLogMarker = 0xEA;

struct SpiFlashHeader {
    std::array<std::uint8_t, kSpiTagLength> tag{};
    std::uint32_t err_log_address = 0;
    std::uint32_t err_log_length = 0;
    std::uint32_t uart_log_address = 0;
    std::uint32_t uart_log_length = 0;
};

// Bytes missing from a short header read as 0.
SpiFlashHeader DecodeSpiFlashHeader(std::span<const std::uint8_t> header);
// The first accepted image tag the header carries, nullopt for none.
std::optional<std::string> AcceptedSpiTag(const SpiFlashHeader& header);

// Field names as the firmware declares them.
struct DramLayoutInfo {
    std::uint32_t SysInfoAddr = 0;
    std::uint32_t SysInfoSize = 0;
    std::uint32_t EraseCountAddr = 0;
    std::uint32_t EraseCountSize = 0;
    std::uint32_t DbgErrLogAddr = 0;
    std::uint32_t DbgErrLogSize = 0;
    std::uint32_t DbgUartLogAddr = 0;
    std::uint32_t DbgUartLogSize = 0;
};

// nullopt when fewer than the record's 36 bytes are given.
std::optional<DramLayoutInfo> DecodeDramLayout(std::span<const std::uint8_t> record);
// One debug message per field, in the order of the record.
std::vector<std::string> DramLayoutDebugLines(const DramLayoutInfo& layout);

struct LogLocations {
    std::uint32_t err_log_address = 0;
    std::uint32_t err_log_size = 0;
    std::uint32_t uart_log_address = 0;
    std::uint32_t uart_log_size = 0;  // the ring's size N
};

// Where the firmware keeps its logs when no layout record says otherwise.
LogLocations FixedLogLocations();
LogLocations LogLocationsOf(const DramLayoutInfo& layout);
// A ring of 0 bytes, or a ring or error log larger than the buffer, cannot be read or walked.
bool LocationsFit(const LogLocations& locations, std::size_t buffer_size);

struct DbgErrLogRecord {
    std::uint32_t dwDbgLogIdx = 0;      // the firmware's write position in the ring
    std::uint16_t wDbgLogHeadMark = 0;  // 0: the ring is read from its start
};

// Bytes missing from a short record read as 0.
DbgErrLogRecord DecodeDbgErrLog(std::span<const std::uint8_t> record);

// Where the walk of the ring starts: the write position, or 0 when the head mark is 0.
std::uint32_t UartLogStart(const DbgErrLogRecord& record);

// The ring in time order from `start` (taken modulo its size), once around: the text before the
// first marker, then one line per entry, each led by its two values as "[%4.4d, %4.4d]". The
// values of a marker near the ring's end come from its start. An empty ring gives no line.
std::vector<std::string> UnrollUartLog(std::span<const std::uint8_t> ring, std::uint32_t start);

}  // namespace vt
