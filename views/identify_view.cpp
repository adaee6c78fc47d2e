#include "views/identify_view.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "ctrl/byte_fields.h"
#include "ctrl/read_system_info.h"
#include "vendor/catalogue.h"
#include "vendor/wrappers.h"
#include "views/text_format.h"

namespace vt {
namespace {

std::uint16_t Word(std::span<const std::uint8_t> identify, std::size_t word) {
    return Le16(identify, word * 2);
}

bool Bit(std::uint16_t value, unsigned bit) {
    return (value >> bit) & 1u;
}

// Two characters per word, high byte first. The text ends at the first zero byte, as a C string
// built from "%c%c" pieces does.
std::string IdentifyText(std::span<const std::uint8_t> identify, std::size_t first_word,
                         std::size_t last_word) {
    std::string text;
    for (std::size_t w = first_word; w <= last_word; ++w) {
        const std::uint16_t word = Word(identify, w);
        text.push_back(static_cast<char>(word >> 8));
        text.push_back(static_cast<char>(word & 0xFF));
    }
    return text.substr(0, text.find('\0'));
}

std::string TrimControlChars(const std::string& text) {
    const auto keep = [](char c) { return static_cast<unsigned char>(c) > 32; };
    const auto first = std::find_if(text.begin(), text.end(), keep);
    const auto last = std::find_if(text.rbegin(), text.rend(), keep).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string LabelledText(const char* label, std::span<const std::uint8_t> identify,
                         std::size_t first_word, std::size_t last_word) {
    return TrimControlChars(label + IdentifyText(identify, first_word, last_word));
}

const char* UltraDmaSupportText(unsigned pattern) {
    switch (pattern) {
        case 0x7F:
            return "Ultra DMA mode 6 and below are supported\n";
        case 0x3F:
            return "Ultra DMA mode 5 and below are supported\n";
        case 0x1F:
            return "Ultra DMA mode 4 and below are supported\n";
        case 0x0F:
            return "Ultra DMA mode 3 and below are supported\n";
        case 0x07:
            return "Ultra DMA mode 2 and below are supported\n";
        case 0x03:
            return "Ultra DMA mode 1 and below are supported\n";
        case 0x01:
            return "Ultra DMA mode 0 and below are supported\n";
        default:
            return nullptr;
    }
}

const char* MultiwordDmaSupportText(unsigned pattern) {
    switch (pattern) {
        case 7:
            return "Multiword DMA mode 2 and below are supported\n";
        case 3:
            return "Multiword DMA mode 1 and below are supported\n";
        case 1:
            return "Multiword DMA mode 0 and below are supported\n";
        default:
            return nullptr;
    }
}

// Zero-terminated ASCII of at most `size` bytes.
std::string AsciiField(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = Byte(bytes, at + i);
        if (c == 0) break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

// A USB string descriptor: length byte, type byte, UTF-16LE units; the low byte of each unit.
std::string StringDescriptorText(std::span<const std::uint8_t> bytes, std::size_t at,
                                 std::size_t max_chars) {
    const unsigned length = Byte(bytes, at);
    const std::size_t units = length >= 2 ? (length - 2) / 2 : 0;
    std::string text;
    for (std::size_t i = 0; i < units && text.size() < max_chars; ++i) {
        const std::uint8_t c = Byte(bytes, at + 2 + 2 * i);
        if (c == 0) break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

}  // namespace

PageTexts IdentifyPageTexts(std::span<const std::uint8_t> identify) {
    PageTexts page;
    page.Edit("ModelNameEdit", LabelledText("Model Name: ", identify, 27, 46));
    page.Edit("SNEdit", LabelledText("Serial Number: ", identify, 10, 19));
    page.Edit("FwVersionEdit", LabelledText("Firmware Revision: ", identify, 23, 26));
    page.Edit("DiskHeadEdit", Sprintf("Heads: %d   Cylinders: %d   Sectors per Track: %d\n",
                                      Word(identify, 3), Word(identify, 1), Word(identify, 6)));
    const std::uint32_t chs = Word(identify, 57) | std::uint32_t{Word(identify, 58)} << 16;
    page.Edit("ChsEdit", Sprintf("Current capacity in sectors (CHS mode) : %lu \n",
                                 static_cast<unsigned long>(chs)));

    std::uint64_t sectors = 0;
    if (Bit(Word(identify, 86), 10)) {
        for (int w = 103; w >= 100; --w) sectors = sectors << 16 | Word(identify, w);
    } else {
        sectors = Word(identify, 60) | std::uint32_t{Word(identify, 61)} << 16;
    }
    page.Edit("TotalSectorEdit",
              Sprintf("Total number of user addressable sectors: (LBA mode) %llu\n",
                      static_cast<unsigned long long>(sectors)));

    const std::uint16_t w63 = Word(identify, 63);
    if (const char* text = MultiwordDmaSupportText(w63 & 0x7)) {
        page.Edit("MultiwordDMAmodeEdit", text);
    }
    const int mw_mode = Bit(w63, 10) ? 2 : Bit(w63, 9) ? 1 : Bit(w63, 8) ? 0 : -1;
    page.Edit("MultiwordDMAEdit", mw_mode >= 0
                                      ? Sprintf("Multiword DMA is selected : mode %d\n", mw_mode)
                                      : std::string("Multiword DMA is selected : none\n"));

    if (Bit(Word(identify, 53), 2)) {
        const std::uint16_t w88 = Word(identify, 88);
        if (const char* text = UltraDmaSupportText(w88 & 0x7F)) page.Edit("UltraDMAModeEdit", text);
        int udma_mode = -1;
        for (int bit = 14; bit >= 8 && udma_mode < 0; --bit) {
            if (Bit(w88, static_cast<unsigned>(bit))) udma_mode = bit - 8;
        }
        page.Edit("UltraDMAEdit", udma_mode >= 0
                                      ? Sprintf("Ultra DMA is selected : mode %d\n", udma_mode)
                                      : std::string("Ultra DMA is selected : none\n"));
    }

    const std::uint16_t w82 = Word(identify, 82);
    const std::uint16_t w85 = Word(identify, 85);
    page.Edit("SMARTfeatureEdit", std::string(Bit(w82, 0) ? "SMART feature set supported, "
                                                          : "SMART feature set not supported, ") +
                                      (Bit(w85, 0) ? "enabled\n" : "not enabled\n"));
    page.Edit("SecurityModeEdit",
              std::string(Bit(w82, 1) ? "Security Mode feature set suppoeted, "
                                      : "Security Mode feature set not supported, ") +
                  (Bit(w85, 1) ? "enabled\n" : "not enabled\n"));
    page.Edit("WWNEdit", Sprintf("World Wide Name: %04X%04X%04X%04X", Word(identify, 108),
                                 Word(identify, 109), Word(identify, 110), Word(identify, 111)));
    return page;
}

bool IsBridgeLoaderInquiry(std::span<const std::uint8_t> inquiry) {
    constexpr std::string_view kLoaderTag = "Vantrel Flash CR Loader";
    if (!FieldInside(inquiry, 8, kLoaderTag.size())) return false;
    return std::equal(kLoaderTag.begin(), kLoaderTag.end(), inquiry.begin() + 8,
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

PageTexts UsbCapacityTexts(std::uint32_t capacity_mb, std::uint64_t capacity_bytes) {
    PageTexts page;
    page.Edit("CapEdit", Sprintf("%u MB", capacity_mb));
    page.Edit("TotalLBAEdit",
              Sprintf("%llu", static_cast<unsigned long long>(capacity_bytes / 512)));
    return page;
}

PageTexts UsbConfigTexts(std::span<const std::uint8_t> config) {
    PageTexts page;
    page.Edit("VIDEdit", Sprintf("%02X%02X", Byte(config, 101), Byte(config, 100)));
    page.Edit("PIDEdit", Sprintf("%02X%02X", Byte(config, 103), Byte(config, 102)));
    page.Edit("VendorNameEdit", AsciiField(config, 118, 8));
    page.Edit("ProductNameEdit", AsciiField(config, 126, 16));
    page.Edit("ManufacturStringEdit", StringDescriptorText(config, 158, 16));
    page.Edit("ProductStringEdit", StringDescriptorText(config, 192, 24));
    page.Edit("SNUSBEdit", StringDescriptorText(config, 242, 20));
    return page;
}

PageTexts ParseInfo(unsigned device, std::span<std::uint8_t> buffer) {
    const auto identify = buffer.first(std::min(buffer.size(), kIdentifySize));
    std::fill(identify.begin(), identify.end(), 0);
    // Decoding zeros would state a drive without a name, without sectors and without SMART;
    // a failed read shows nothing instead.
    if (!VA_Identify(device, identify, 1)) return {};
    return IdentifyPageTexts(identify);
}

PageTexts ParseUSBInfo(unsigned device) {
    PageTexts page;
    std::array<std::uint8_t, 40> inquiry{};
    bool loader = false;
    if (VC_Inquiry(device, inquiry, 1) == 1) {
        loader = IsBridgeLoaderInquiry(inquiry);
        page = UsbCapacityTexts(GetCapacityMB(device), GetCapacityBytes(device));
    }
    if (loader) return page;
    std::vector<std::uint8_t> config(kUsbConfigBufferSize);
    if (!ReadSystemInfo(device, config)) return page;
    for (auto& edit : UsbConfigTexts(config).edits) page.edits.push_back(std::move(edit));
    return page;
}

}  // namespace vt
