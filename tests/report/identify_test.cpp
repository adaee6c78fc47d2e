#include <gtest/gtest.h>

#include <array>
#include <string>

#include "report/identify_texts.h"

namespace vt {
namespace {

struct Identify {
    std::array<std::uint8_t, 512> bytes{};
    void Word(std::size_t word, std::uint16_t value) {
        bytes[2 * word] = static_cast<std::uint8_t>(value);
        bytes[2 * word + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    // ATA strings: two characters per word, the first in the high byte.
    void Text(std::size_t first_word, std::size_t words, const std::string& text) {
        for (std::size_t i = 0; i < words; ++i) {
            const auto hi = 2 * i < text.size() ? text[2 * i] : ' ';
            const auto lo = 2 * i + 1 < text.size() ? text[2 * i + 1] : ' ';
            Word(first_word + i,
                 static_cast<std::uint16_t>(hi << 8 | static_cast<std::uint8_t>(lo)));
        }
    }
    PageTexts Page() const { return IdentifyPageTexts(bytes); }
};

bool Has(const PageTexts& page, std::string_view control) {
    for (const auto& e : page.edits) {
        if (e.control == control) return true;
    }
    return false;
}

TEST(IdentifyView, StringsLoseTheirPaddingButKeepTheirLabels) {
    Identify id;
    id.Text(27, 20, "VT SSD 120G");
    id.Text(10, 10, "  SN0042");
    id.Text(23, 4, "A148");
    const auto page = id.Page();
    EXPECT_EQ(page.EditOf("ModelNameEdit"), "Model Name: VT SSD 120G");
    EXPECT_EQ(page.EditOf("SNEdit"), "Serial Number:   SN0042");
    EXPECT_EQ(page.EditOf("FwVersionEdit"), "Firmware Revision: A148");
}

TEST(IdentifyView, DelPaddingIsTrimmedAsInTheDeviceListAndTheJson) {
    // The page once kept a 7Fh the list and the JSON document of the same drive dropped.
    Identify id;
    id.Text(27, 20, "VT SSD\x7F\x7F");
    id.Text(23, 4,
            "\x7F"
            "A148");
    const auto page = id.Page();
    EXPECT_EQ(page.EditOf("ModelNameEdit"), "Model Name: VT SSD");
    EXPECT_EQ(page.EditOf("FwVersionEdit"),
              "Firmware Revision: \x7F"
              "A148");  // inside: kept
}

TEST(IdentifyView, ZeroSectorDecodesToEmptyStringsAndNoFeatures) {
    const auto page = Identify{}.Page();
    EXPECT_EQ(page.EditOf("ModelNameEdit"), "Model Name:");
    EXPECT_EQ(page.EditOf("DiskHeadEdit"), "Heads: 0   Cylinders: 0   Sectors per Track: 0\n");
    EXPECT_FALSE(Has(page, "MultiwordDMAmodeEdit"));
    EXPECT_EQ(page.EditOf("MultiwordDMAEdit"), "Multiword DMA is selected : none\n");
    EXPECT_FALSE(Has(page, "UltraDMAModeEdit"));
    EXPECT_FALSE(Has(page, "UltraDMAEdit"));
    EXPECT_EQ(page.EditOf("SMARTfeatureEdit"), "SMART feature set not supported, not enabled\n");
    EXPECT_EQ(page.EditOf("SecurityModeEdit"),
              "Security Mode feature set not supported, not enabled\n");
    EXPECT_EQ(page.EditOf("WWNEdit"), "World Wide Name: 0000000000000000");
}

TEST(IdentifyView, MultiwordDmaSupportAndSelection) {
    Identify id;
    id.Word(63, 0x0407);
    auto page = id.Page();
    EXPECT_EQ(page.EditOf("MultiwordDMAmodeEdit"),
              "Multiword DMA mode 2 and below are supported\n");
    EXPECT_EQ(page.EditOf("MultiwordDMAEdit"), "Multiword DMA is selected : mode 2\n");
    id.Word(63, 0x0203);
    page = id.Page();
    EXPECT_EQ(page.EditOf("MultiwordDMAmodeEdit"),
              "Multiword DMA mode 1 and below are supported\n");
    EXPECT_EQ(page.EditOf("MultiwordDMAEdit"), "Multiword DMA is selected : mode 1\n");
    id.Word(63, 0x0005);  // not one of the patterns
    EXPECT_FALSE(Has(id.Page(), "MultiwordDMAmodeEdit"));
}

TEST(IdentifyView, UltraDmaOnlyWhenWord88IsValid) {
    Identify id;
    id.Word(88, 0x207F);
    EXPECT_FALSE(Has(id.Page(), "UltraDMAEdit"));  // word 53 bit 2 clear
    id.Word(53, 0x0004);
    auto page = id.Page();
    EXPECT_EQ(page.EditOf("UltraDMAModeEdit"), "Ultra DMA mode 6 and below are supported\n");
    EXPECT_EQ(page.EditOf("UltraDMAEdit"), "Ultra DMA is selected : mode 5\n");
    id.Word(88, 0x003E);
    page = id.Page();
    EXPECT_FALSE(Has(page, "UltraDMAModeEdit"));
    EXPECT_EQ(page.EditOf("UltraDMAEdit"), "Ultra DMA is selected : none\n");
}

TEST(IdentifyView, SectorCountsIn28And48BitAddressing) {
    Identify id;
    id.Word(57, 0x1234);
    id.Word(58, 0x0001);
    id.Word(60, 0xFFFF);
    id.Word(61, 0x0FFF);
    id.Word(100, 0x0000);
    id.Word(101, 0x0000);
    id.Word(102, 0x0002);  // 2^33 sectors
    auto page = id.Page();
    EXPECT_EQ(page.EditOf("ChsEdit"), "Current capacity in sectors (CHS mode) : 70196 \n");
    EXPECT_EQ(page.EditOf("TotalSectorEdit"),
              "Total number of user addressable sectors: (LBA mode) 268435455\n");
    id.Word(86, 0x0400);
    EXPECT_EQ(id.Page().EditOf("TotalSectorEdit"),
              "Total number of user addressable sectors: (LBA mode) 8589934592\n");
}

TEST(IdentifyView, FeatureSetsAndWorldWideName) {
    Identify id;
    id.Word(82, 0x0003);
    id.Word(85, 0x0001);
    id.Word(108, 0x5001);
    id.Word(109, 0x1A2B);
    id.Word(110, 0x3C4D);
    id.Word(111, 0x0E0F);
    const auto page = id.Page();
    EXPECT_EQ(page.EditOf("SMARTfeatureEdit"), "SMART feature set supported, enabled\n");
    EXPECT_EQ(page.EditOf("SecurityModeEdit"),
              "Security Mode feature set suppoeted, not enabled\n");
    EXPECT_EQ(page.EditOf("WWNEdit"), "World Wide Name: 50011A2B3C4D0E0F");
}

TEST(UsbIdentity, LoaderTagAndCapacity) {
    std::array<std::uint8_t, 40> inquiry{};
    const std::string tag = "Vantrel Flash CR Loader";
    std::copy(tag.begin(), tag.end(), inquiry.begin() + 8);
    EXPECT_TRUE(IsBridgeLoaderInquiry(inquiry));
    inquiry[8 + 22] = 'X';
    EXPECT_FALSE(IsBridgeLoaderInquiry(inquiry));
    EXPECT_FALSE(IsBridgeLoaderInquiry(std::span(inquiry).first(20)));

    const auto page = UsbCapacityTexts(114473, 240057409536ull);
    EXPECT_EQ(page.EditOf("CapEdit"), "114473 MB");
    EXPECT_EQ(page.EditOf("TotalLBAEdit"), "468862128");
}

TEST(UsbIdentity, ConfigurationFields) {
    std::vector<std::uint8_t> config(1024, 0);
    config[100] = 0x34;
    config[101] = 0x12;
    config[102] = 0x0B;
    config[103] = 0xA0;
    const std::string vendor = "VANTRELX";  // fills its field: no terminator
    std::copy(vendor.begin(), vendor.end(), config.begin() + 118);
    const std::string product = "Flash Disk";
    std::copy(product.begin(), product.end(), config.begin() + 126);
    const auto descriptor = [&](std::size_t at, const std::string& text, std::uint8_t length) {
        config[at] = length;
        config[at + 1] = 3;
        for (std::size_t i = 0; i < text.size(); ++i) config[at + 2 + 2 * i] = text[i];
    };
    descriptor(158, "Vantrel Technology Inc", 2 + 2 * 22);  // cut at 16 characters
    descriptor(192, "USB Bridge", 2 + 2 * 10);
    descriptor(242, "0123456789", 2 + 2 * 4);  // the length says four units
    const auto page = UsbConfigTexts(config);
    EXPECT_EQ(page.EditOf("VIDEdit"), "1234");
    EXPECT_EQ(page.EditOf("PIDEdit"), "A00B");
    EXPECT_EQ(page.EditOf("VendorNameEdit"), "VANTRELX");
    EXPECT_EQ(page.EditOf("ProductNameEdit"), "Flash Disk");
    EXPECT_EQ(page.EditOf("ManufacturStringEdit"), "Vantrel Technolo");
    EXPECT_EQ(page.EditOf("ProductStringEdit"), "USB Bridge");
    EXPECT_EQ(page.EditOf("SNUSBEdit"), "0123");
}

TEST(UsbIdentity, ShortOrBrokenDescriptorsStayInsideTheBuffer) {
    std::vector<std::uint8_t> config(250, 0);
    config[158] = 1;    // a length below the header's two bytes
    config[242] = 200;  // runs past the end of the buffer
    config[244] = 'A';
    const auto page = UsbConfigTexts(config);
    EXPECT_EQ(page.EditOf("ManufacturStringEdit"), "");
    EXPECT_EQ(page.EditOf("SNUSBEdit"), "A");
}

}  // namespace
}  // namespace vt
