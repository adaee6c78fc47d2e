#include "pages/identify.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "access/ata_strings.h"
#include "ctrl/read_system_info.h"
#include "pages/text_format.h"
#include "platform/byte_order.h"
#include "vendor/catalogue.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

std::uint16_t Word(std::span<const std::uint8_t> identify, std::size_t word) {
    return Le16(identify, word * 2);
}

bool Bit(std::uint16_t value, unsigned bit) {
    return (value >> bit) & 1u;
}

// The strings of words `first_word` to `last_word`.
std::string IdentifyText(std::span<const std::uint8_t> identify, std::size_t first_word,
                         std::size_t last_word) {
    return AtaString(identify, first_word * 2, (last_word - first_word + 1) * 2);
}

std::string AsciiField(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = Byte(bytes, at + i);
        if (c == 0) break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

// Where the configuration keeps its string descriptors, and the characters each shows at most.
constexpr std::size_t kManufacturerAt = 158, kManufacturerChars = 16;
constexpr std::size_t kProductAt = 192, kProductChars = 24;
constexpr std::size_t kUsbSerialAt = 242, kUsbSerialChars = 20;

StringDescriptorSpan DescriptorSpan(std::span<const std::uint8_t> bytes, std::size_t at,
                                    std::size_t max_chars) {
    // Only the length byte counts: the type byte is not looked at.
    const unsigned length = Byte(bytes, at);
    StringDescriptorSpan span;
    span.first = at + 2;
    span.units = std::min<std::size_t>(length >= 2 ? (length - 2) / 2 : 0, max_chars);
    while (span.shown < span.units && Byte(bytes, span.first + 2 * span.shown) != 0) ++span.shown;
    return span;
}

// A USB string descriptor: length byte, type byte, UTF-16LE units; the low byte of each unit.
std::string StringDescriptorText(std::span<const std::uint8_t> bytes, std::size_t at,
                                 std::size_t max_chars) {
    const StringDescriptorSpan span = DescriptorSpan(bytes, at, max_chars);
    std::string text;
    for (std::size_t i = 0; i < span.shown; ++i)
        text.push_back(static_cast<char>(Byte(bytes, span.first + 2 * i)));
    return text;
}

}  // namespace

int SataIdentity::MultiwordDmaSupportedMode() const {
    switch (multiword_dma_support) {
        case 7:
            return 2;
        case 3:
            return 1;
        case 1:
            return 0;
        default:
            return -1;
    }
}

int SataIdentity::UltraDmaSupportedMode() const {
    for (int mode = 6; mode >= 0; --mode) {
        if (ultra_dma_support == (1u << (mode + 1)) - 1) return mode;
    }
    return -1;
}

SataIdentity DecodeIdentify(std::span<const std::uint8_t> identify) {
    SataIdentity id;
    id.model = IdentifyText(identify, 27, 46);
    id.serial = IdentifyText(identify, 10, 19);
    id.firmware = IdentifyText(identify, 23, 26);
    id.heads = Word(identify, 3);
    id.cylinders = Word(identify, 1);
    id.sectors_per_track = Word(identify, 6);
    id.chs_capacity_sectors = Word(identify, 57) | std::uint32_t{Word(identify, 58)} << 16;
    id.lba48 = Bit(Word(identify, 86), 10);
    if (id.lba48) {
        for (int w = 103; w >= 100; --w)
            id.capacity_sectors = id.capacity_sectors << 16 | Word(identify, w);
    } else {
        id.capacity_sectors = Word(identify, 60) | std::uint32_t{Word(identify, 61)} << 16;
    }
    const std::uint16_t w63 = Word(identify, 63);
    id.multiword_dma_support = static_cast<std::uint8_t>(w63 & 0x7);
    id.multiword_dma_selected = Bit(w63, 10) ? 2 : Bit(w63, 9) ? 1 : Bit(w63, 8) ? 0 : -1;
    id.ultra_dma_valid = Bit(Word(identify, 53), 2);
    if (id.ultra_dma_valid) {
        const std::uint16_t w88 = Word(identify, 88);
        id.ultra_dma_support = static_cast<std::uint8_t>(w88 & 0x7F);
        for (int bit = 14; bit >= 8 && id.ultra_dma_selected < 0; --bit) {
            if (Bit(w88, static_cast<unsigned>(bit))) id.ultra_dma_selected = bit - 8;
        }
    }
    const std::uint16_t w82 = Word(identify, 82);
    const std::uint16_t w85 = Word(identify, 85);
    id.smart_supported = Bit(w82, 0);
    id.smart_enabled = Bit(w85, 0);
    id.security_supported = Bit(w82, 1);
    id.security_enabled = Bit(w85, 1);
    for (std::size_t w = 108; w <= 111; ++w) id.wwn = id.wwn << 16 | Word(identify, w);
    return id;
}

bool IsBridgeLoaderInquiry(std::span<const std::uint8_t> inquiry) {
    constexpr std::string_view kLoaderTag = "Vantrel Flash CR Loader";
    if (!FieldInside(inquiry, 8, kLoaderTag.size())) return false;
    return std::equal(kLoaderTag.begin(), kLoaderTag.end(), inquiry.begin() + 8,
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

void DecodeUsbConfig(std::span<const std::uint8_t> config, UsbIdentity& identity) {
    identity.config_read = true;
    identity.vendor_id = static_cast<std::uint16_t>(Byte(config, 101) << 8 | Byte(config, 100));
    identity.product_id = static_cast<std::uint16_t>(Byte(config, 103) << 8 | Byte(config, 102));
    identity.vendor_name = AsciiField(config, 118, 8);
    identity.product_name = AsciiField(config, 126, 16);
    identity.manufacturer_string =
        StringDescriptorText(config, kManufacturerAt, kManufacturerChars);
    identity.product_string = StringDescriptorText(config, kProductAt, kProductChars);
    identity.serial = StringDescriptorText(config, kUsbSerialAt, kUsbSerialChars);
}

StringDescriptorSpan UsbSerialSpan(std::span<const std::uint8_t> config) {
    return DescriptorSpan(config, kUsbSerialAt, kUsbSerialChars);
}

std::optional<SataIdentity> ReadSataIdentity(unsigned device, std::span<std::uint8_t> buffer) {
    const auto identify = buffer.first(std::min(buffer.size(), kIdentifySize));
    std::fill(identify.begin(), identify.end(), 0);
    // Decoding zeros would state a drive without a name, without sectors and without SMART;
    // a failed read shows nothing instead.
    if (!VA_Identify(device, identify, 1)) return std::nullopt;
    return DecodeIdentify(identify);
}

UsbIdentity ReadUsbIdentity(unsigned device) {
    UsbIdentity identity;
    std::array<std::uint8_t, 40> inquiry{};
    if (VC_Inquiry(device, inquiry, 1) == 1) {
        identity.inquiry_read = true;
        identity.loader = IsBridgeLoaderInquiry(inquiry);
        identity.capacity_mb = GetCapacityMB(device);
        identity.capacity_bytes = GetCapacityBytes(device);
    }
    if (identity.loader) return identity;
    std::vector<std::uint8_t> config(kUsbConfigBufferSize);
    if (ReadSystemInfo(device, config)) DecodeUsbConfig(config, identity);
    return identity;
}

}  // namespace vt
