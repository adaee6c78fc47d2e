#include <algorithm>
#include <numeric>

#include "access/device_tables.h"
#include "capture/redact.h"
#include "ctrl/read_system_info.h"
#include "report/identify_texts.h"
#include "vendor/wrappers.h"

namespace vt::capture {
namespace {

constexpr std::size_t kSerialAt = 20, kSerialLength = 20;
constexpr std::size_t kIntegrityWord = 510;
constexpr std::uint8_t kIntegritySignature = 0xA5;
constexpr std::uint64_t kSectorSize = 512;
// Bytes of the loader block's start that a flash copy must repeat to count as one.
constexpr std::size_t kSignatureLength = 8;

void RedactIdentify(std::optional<sim::Bytes>& identify) {
    if (!identify || identify->size() < kSerialAt + kSerialLength) return;
    auto& data = *identify;
    const auto first = data.begin() + kSerialAt;
    // An empty serial (a loader's) gives nothing away and stays as the drive sent it.
    if (std::all_of(first, first + kSerialLength,
                    [](std::uint8_t b) { return b == ' ' || b == 0; }))
        return;
    std::string text(kRedactedSerial);
    text.resize(kSerialLength, ' ');
    for (std::size_t i = 0; i < kSerialLength; ++i)
        data[kSerialAt + i] = static_cast<std::uint8_t>(text[i ^ 1]);  // ATA byte order
    if (data.size() >= 512 && data[kIntegrityWord] == kIntegritySignature) {
        const unsigned sum = std::accumulate(data.begin(), data.begin() + 511, 0u);
        data[511] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
    }
}

// `size` bytes of a stretch the capture knows in part; the rest reads as 00h, as the replay
// answers it.
sim::Bytes KnownSpan(const sim::KnownBytes& bytes, std::uint64_t at, std::size_t size) {
    sim::Bytes out(size, 0);
    const auto& runs = bytes.Runs();
    auto it = runs.upper_bound(at);
    if (it != runs.begin()) --it;
    for (; it != runs.end() && it->first < at + size; ++it) {
        const auto& [first, run] = *it;
        const std::uint64_t from = std::max(first, at);
        const std::uint64_t to = std::min<std::uint64_t>(first + run.size(), at + size);
        for (std::uint64_t i = from; i < to; ++i) out[i - at] = run[i - first];
    }
    return out;
}

// The USB serial of a loader block copy at `block_start`, found where the Device Info page finds
// it: the characters it shows become the placeholder, the units after them zeros.
void RedactUsbSerial(sim::KnownBytes& bytes, std::uint64_t block_start) {
    const auto serial = UsbSerialSpan(KnownSpan(bytes, block_start, kLoaderBlockSize));
    const std::string text(kRedactedSerial);
    for (std::size_t i = 0; i < serial.units; ++i) {
        const char c = i >= serial.shown ? '\0' : i < text.size() ? text[i] : '0';
        const std::uint8_t unit[2] = {static_cast<std::uint8_t>(c), 0};
        bytes.Patch(block_start + serial.first + 2 * i, unit);
    }
}

// Every other copy of the loader block in a store: the sectors that start as the memory copy does.
void RedactCopies(sim::KnownBytes& bytes, std::span<const std::uint8_t> signature) {
    std::vector<std::uint64_t> copies;
    for (const auto& [first, run] : bytes.Runs()) {
        for (std::uint64_t at = (first + kSectorSize - 1) / kSectorSize * kSectorSize;
             at + signature.size() <= first + run.size(); at += kSectorSize) {
            const auto here = run.begin() + static_cast<std::ptrdiff_t>(at - first);
            if (std::equal(signature.begin(), signature.end(), here)) copies.push_back(at);
        }
    }
    for (const std::uint64_t at : copies) RedactUsbSerial(bytes, at);
}

}  // namespace

void RedactSerials(sim::RawDrive& drive) {
    RedactIdentify(drive.identify);
    RedactIdentify(drive.loader_identify);
    if (drive.bus != "usb" && drive.bus != "sbp2") return;
    const auto memory = drive.memory.find(3);
    if (memory == drive.memory.end()) return;
    const sim::Bytes block = KnownSpan(memory->second, 0, kLoaderBlockSize);
    RedactUsbSerial(memory->second, 0);
    // The flash copies where the system information read takes them from, whatever they hold: the
    // page shows the last one read when none carries the loader's signature.
    SystemInfoRecord info;
    DeviceEntry entry;
    TakeMemoryCopy(block, info, entry);
    for (const std::uint16_t system_block : entry.SysBlock) {
        const auto image = drive.system_pages.find({0, system_block >> 1, 0});
        if (image != drive.system_pages.end())
            RedactUsbSerial(image->second, OddBlockOffset(system_block, info.SectorsPerPage));
    }
    // Copies read otherwise (a page reader's): a signature of one repeated byte would take any
    // erased or empty sector for one.
    const std::span<const std::uint8_t> signature(block.data(), kSignatureLength);
    if (std::all_of(signature.begin(), signature.end(),
                    [&](std::uint8_t b) { return b == signature[0]; }))
        return;
    for (auto& [key, image] : drive.system_pages) RedactCopies(image, signature);
    for (auto& [key, page] : drive.flash_pages) {
        if (page.empty()) continue;
        sim::KnownBytes known;
        known.Write(0, page);
        RedactCopies(known, signature);
        page = known.Runs().begin()->second;
    }
}

}  // namespace vt::capture
