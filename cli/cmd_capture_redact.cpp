#include <algorithm>
#include <numeric>

#include "cli/capture_redact.h"

namespace vt::cli {
namespace {

constexpr std::size_t kSerialAt = 20, kSerialLength = 20;
constexpr std::size_t kIntegrityWord = 510;
constexpr std::uint8_t kIntegritySignature = 0xA5;
// Where the bridge configuration in the loader block keeps the USB serial string descriptor.
constexpr std::size_t kUsbSerialAt = 242;
constexpr std::uint8_t kStringDescriptor = 0x03;
constexpr std::size_t kUsbSerialMaxUnits = 31;
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

// The descriptor's UTF-16 units, rewritten with the placeholder; its length stays.
sim::Bytes RedactedDescriptor(std::span<const std::uint8_t> descriptor) {
    sim::Bytes out(descriptor.begin(), descriptor.end());
    const std::size_t units = (out[0] - 2) / 2;
    const std::string text(kRedactedSerial);
    for (std::size_t i = 0; i < units && 3 + 2 * i < out.size(); ++i) {
        out[2 + 2 * i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : '0');
        out[3 + 2 * i] = 0;
    }
    return out;
}

// A string descriptor at the serial's place in a known stretch starting at `first`.
void RedactUsbSerial(sim::KnownBytes& bytes, std::uint64_t block_start) {
    for (const auto& [first, run] : bytes.Runs()) {
        if (first > block_start + kUsbSerialAt ||
            first + run.size() < block_start + kUsbSerialAt + 2) {
            continue;
        }
        const std::size_t at = block_start + kUsbSerialAt - first;
        const std::uint8_t length = run[at];
        if (run[at + 1] != kStringDescriptor || length < 2 || length > 2 + 2 * kUsbSerialMaxUnits ||
            at + length > run.size()) {
            continue;
        }
        const sim::Bytes redacted = RedactedDescriptor(std::span(run).subspan(at, length));
        bytes.Patch(block_start + kUsbSerialAt, redacted);
        return;
    }
}

}  // namespace

void RedactSerials(sim::RawDrive& drive) {
    RedactIdentify(drive.identify);
    RedactIdentify(drive.loader_identify);
    if (drive.bus != "usb" && drive.bus != "sbp2") return;
    const auto memory = drive.memory.find(3);
    if (memory == drive.memory.end()) return;
    RedactUsbSerial(memory->second, 0);
    // The flash copies of the loader block: the system pages that start as it does.
    const auto block = memory->second.Runs().find(0);
    if (block == memory->second.Runs().end() || block->second.size() < kSignatureLength) return;
    const std::span<const std::uint8_t> signature(block->second.data(), kSignatureLength);
    for (auto& [key, image] : drive.system_pages) {
        const auto first = image.Runs().find(0);
        if (first != image.Runs().end() && first->second.size() >= kSignatureLength &&
            std::equal(signature.begin(), signature.end(), first->second.begin())) {
            RedactUsbSerial(image, 0);
        }
    }
}

}  // namespace vt::cli
