#include "report/identify_texts.h"

#include <algorithm>

#include "access/ata_strings.h"
#include "pages/text_format.h"

namespace vt {
namespace {

std::string Labelled(const char* label, const std::string& text) {
    return TrimDisplay(label + text);
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

}  // namespace

PageTexts IdentifyPageTexts(const SataIdentity& id) {
    PageTexts page;
    page.Edit("ModelNameEdit", Labelled("Model Name: ", id.model));
    page.Edit("SNEdit", Labelled("Serial Number: ", id.serial));
    page.Edit("FwVersionEdit", Labelled("Firmware Revision: ", id.firmware));
    page.Edit("DiskHeadEdit", Sprintf("Heads: %u   Cylinders: %u   Sectors per Track: %u\n",
                                      id.heads, id.cylinders, id.sectors_per_track));
    page.Edit("ChsEdit", Sprintf("Current capacity in sectors (CHS mode) : %lu \n",
                                 static_cast<unsigned long>(id.chs_capacity_sectors)));
    page.Edit("TotalSectorEdit",
              Sprintf("Total number of user addressable sectors: (LBA mode) %llu\n",
                      static_cast<unsigned long long>(id.capacity_sectors)));
    if (const char* text = MultiwordDmaSupportText(id.multiword_dma_support)) {
        page.Edit("MultiwordDMAmodeEdit", text);
    }
    page.Edit("MultiwordDMAEdit",
              id.multiword_dma_selected >= 0
                  ? Sprintf("Multiword DMA is selected : mode %d\n", id.multiword_dma_selected)
                  : std::string("Multiword DMA is selected : none\n"));
    if (id.ultra_dma_valid) {
        if (const char* text = UltraDmaSupportText(id.ultra_dma_support)) {
            page.Edit("UltraDMAModeEdit", text);
        }
        page.Edit("UltraDMAEdit",
                  id.ultra_dma_selected >= 0
                      ? Sprintf("Ultra DMA is selected : mode %d\n", id.ultra_dma_selected)
                      : std::string("Ultra DMA is selected : none\n"));
    }
    page.Edit("SMARTfeatureEdit",
              std::string(id.smart_supported ? "SMART feature set supported, "
                                             : "SMART feature set not supported, ") +
                  (id.smart_enabled ? "enabled\n" : "not enabled\n"));
    page.Edit("SecurityModeEdit",
              std::string(id.security_supported ? "Security Mode feature set suppoeted, "
                                                : "Security Mode feature set not supported, ") +
                  (id.security_enabled ? "enabled\n" : "not enabled\n"));
    page.Edit("WWNEdit",
              Sprintf("World Wide Name: %016llX", static_cast<unsigned long long>(id.wwn)));
    return page;
}

PageTexts IdentifyPageTexts(std::span<const std::uint8_t> identify) {
    return IdentifyPageTexts(DecodeIdentify(identify));
}

PageTexts UsbCapacityTexts(std::uint64_t capacity_mb, std::uint64_t capacity_bytes) {
    PageTexts page;
    page.Edit("CapEdit", Sprintf("%llu MB", static_cast<unsigned long long>(capacity_mb)));
    page.Edit("TotalLBAEdit",
              Sprintf("%llu", static_cast<unsigned long long>(capacity_bytes / 512)));
    return page;
}

PageTexts UsbConfigTexts(std::span<const std::uint8_t> config) {
    UsbIdentity identity;
    DecodeUsbConfig(config, identity);
    return UsbIdentityTexts(identity);
}

PageTexts UsbIdentityTexts(const UsbIdentity& identity) {
    PageTexts page;
    if (identity.inquiry_read) {
        page = UsbCapacityTexts(identity.capacity_mb, identity.capacity_bytes);
    }
    if (!identity.config_read) return page;
    page.Edit("VIDEdit", Sprintf("%04X", identity.vendor_id));
    page.Edit("PIDEdit", Sprintf("%04X", identity.product_id));
    page.Edit("VendorNameEdit", identity.vendor_name);
    page.Edit("ProductNameEdit", identity.product_name);
    page.Edit("ManufacturStringEdit", identity.manufacturer_string);
    page.Edit("ProductStringEdit", identity.product_string);
    page.Edit("SNUSBEdit", identity.serial);
    return page;
}

}  // namespace vt
