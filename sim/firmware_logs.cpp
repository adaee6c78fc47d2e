#include <algorithm>

#include "sim/drive_model.h"

namespace vt::sim {
namespace {

constexpr std::uint8_t kEntryMark = 0xEA;
constexpr std::uint32_t kErrorLogSize = 0x800;

// Where the firmware keeps its logs without a layout record, and where a firmware with a layout
// record puts them (the layout record says so).
constexpr std::uint32_t kFixedErrorLog = 0xDC000;
constexpr std::uint32_t kFixedUartLog = 0xDC800;
constexpr std::uint32_t kLayoutSysInfo = 0x00100000;
constexpr std::uint32_t kLayoutEraseCount = 0x00110000;
constexpr std::uint32_t kLayoutErrorLog = 0x00180000;
constexpr std::uint32_t kLayoutUartLog = 0x00180800;

// The serial flash: the image header, then the saved copies of both logs.
constexpr std::uint32_t kSpiSize = 0x4000;
constexpr std::uint32_t kSpiErrorLog = 0x1000;
constexpr std::uint32_t kSpiUartLog = 0x2000;
constexpr std::uint32_t kSpiUartSize = 0x2000;

const std::vector<std::string>& DefaultLines() {
    static const std::vector<std::string> lines = {
        "Boot: loader V50 ok, jump to firmware",
        "FTL: mount, %u free blocks",
        "NAND: ch0 ce0 id 98 DE 94 93 76 51, %u good blocks",
        "GC: victim block %u, valid pages 12",
        "WL: swap block %u with cold block 1840",
        "SATA: link up, Gen3 6.0 Gbps",
        "FTL: flush map, seq %u",
        "ECC: corrected 17 bits, block %u page 88",
        "PWR: standby request",
        "PWR: resume",
    };
    return lines;
}

std::string Expand(const std::string& pattern, std::uint32_t n) {
    const auto at = pattern.find("%u");
    if (at == std::string::npos) return pattern;
    return pattern.substr(0, at) + std::to_string(n) + pattern.substr(at + 2);
}

struct Ring {
    Bytes bytes;
    std::uint32_t index = 0;  // where the firmware writes next
    bool wrapped = false;
};

// Writes log entries into a ring of `size` bytes the way the firmware does: a mark, a time stamp
// and a sequence number, then the text, with no regard for the ring's end.
Ring WriteRing(const UartLogDescription& log, std::uint32_t size) {
    Ring ring;
    ring.bytes.assign(size, 0);
    const auto& lines = log.lines.empty() ? DefaultLines() : log.lines;
    const std::uint64_t target = log.wrapped ? size + size / 3 : size / 2;
    std::uint64_t written = 0;
    for (std::uint32_t seq = 0; written < target && !lines.empty(); ++seq) {
        const std::string text = Expand(lines[seq % lines.size()], 100 + seq * 7);
        Bytes entry = {kEntryMark};
        const std::uint16_t tick = static_cast<std::uint16_t>(seq * 3 / 2);
        entry.push_back(static_cast<std::uint8_t>(tick));
        entry.push_back(static_cast<std::uint8_t>(tick >> 8));
        entry.push_back(static_cast<std::uint8_t>(seq));
        entry.push_back(static_cast<std::uint8_t>(seq >> 8));
        entry.insert(entry.end(), text.begin(), text.end());
        if (!log.wrapped && written + entry.size() > size) break;
        for (const auto b : entry) ring.bytes[(written++) % size] = b;
    }
    ring.wrapped = written > size;
    ring.index = static_cast<std::uint32_t>(written % size);
    return ring;
}

Bytes ErrorLogRecord(const Ring& ring) {
    Bytes record(kErrorLogSize, 0);
    PutText(record, 0, "ErLog01");
    PutLe32(record, 16, ring.index);
    // A head mark of 0 tells the reader the ring never wrapped and starts at 0.
    PutLe16(record, 26, ring.wrapped ? 1 : 0);
    return record;
}

Bytes DramLayout(std::uint32_t uart_size) {
    Bytes record(36, 0);
    PutLe32(record, 0, 0x4C415944);  // "DYAL", the record's version mark
    PutLe32(record, 4, kLayoutSysInfo);
    PutLe32(record, 8, 0x1000);
    PutLe32(record, 12, kLayoutEraseCount);
    PutLe32(record, 16, 0x8000);
    PutLe32(record, 20, kLayoutErrorLog);
    PutLe32(record, 24, kErrorLogSize);
    PutLe32(record, 28, kLayoutUartLog);
    PutLe32(record, 32, uart_size);
    return record;
}

Bytes SerialFlash(const DriveDescription& d) {
    Bytes flash(kSpiSize, 0xFF);
    std::fill_n(flash.begin(), 512, 0);
    PutText(flash, 0, d.spi.tag);
    PutText(flash, 12, "LDR50   ");
    PutLe32(flash, 20, kSpiErrorLog);
    PutLe32(flash, 24, kErrorLogSize);
    PutLe32(flash, 28, kSpiUartLog);
    PutLe32(flash, 32, kSpiUartSize);
    UartLogDescription log = d.uart_log;
    log.wrapped = true;
    const Ring ring = WriteRing(log, kSpiUartSize);
    const Bytes record = ErrorLogRecord(ring);
    std::copy(record.begin(), record.end(), flash.begin() + kSpiErrorLog);
    std::copy(ring.bytes.begin(), ring.bytes.end(), flash.begin() + kSpiUartLog);
    return flash;
}

}  // namespace

void BuildFirmwareLogs(const DriveDescription& d, DriveConfig& config) {
    if (d.spi.present) config.spi_flash = SerialFlash(d);
    if (!d.uart_log.present) return;
    const Ring ring = WriteRing(d.uart_log, d.uart_log.size);
    SparseBytes& memory = config.memory[3];
    if (d.uart_log.in_layout) {
        config.dram_layout = DramLayout(d.uart_log.size);
        memory.Write(kLayoutErrorLog, ErrorLogRecord(ring));
        memory.Write(kLayoutUartLog, ring.bytes);
    } else {
        memory.Write(kFixedErrorLog, ErrorLogRecord(ring));
        memory.Write(kFixedUartLog, ring.bytes);
    }
}

}  // namespace vt::sim
