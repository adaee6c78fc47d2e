#include "sim/drive_model.h"

#include <algorithm>

namespace vt::sim {
namespace {

constexpr std::uint64_t kDefaultCapacity = 250069680;  // 128 GB

void DeriveSmart(const DriveDescription& d, SmartModel& smart) {
    const std::uint64_t factory = d.factory_bad.size() + d.early_bad.size();
    const std::uint64_t later = d.later_bad.size();
    std::uint64_t sum = 0, count = 0, most = 0;
    for (std::uint32_t c = 0; c < d.channels; ++c) {
        for (std::uint32_t b = 0; b < d.flash.blocks_per_ce; b += 97) {
            const std::uint64_t wear = WearOf(d, c, 0, b);
            sum += wear;
            ++count;
            most = std::max(most, wear);
        }
    }
    const std::uint64_t average = count ? sum / count : 0;
    for (auto& attribute : smart.attributes) {
        if (attribute.raw != 0) continue;
        switch (attribute.id) {
            case 0x05:
                attribute.raw = later;
                break;
            case 0xA3:
            case 0xBD:
                attribute.raw = most;
                break;
            case 0xA4:
            case 0xAD:
            case 0xBC:
                attribute.raw = average;
                break;
            case 0xA6:
                attribute.raw = later;
                break;
            case 0xA9:
                attribute.raw = factory | (factory + later) << 16 | later << 32;
                break;
            default:
                break;
        }
    }
}

void BuildIdentity(const DriveDescription& d, DriveConfig& config) {
    config.capacity_sectors = d.capacity_sectors.value_or(kDefaultCapacity);
    config.identify =
        BuildIdentify(d.product, d.serial, d.firmware, config.capacity_sectors, d.rotation);
    config.loader_identify = BuildIdentify(d.loader_model, "", "LOADER", 0, 1);
    if (config.bridge == Bridge::None) {
        config.inquiry = BuildAtaInquiry(config.identify);
        return;
    }
    std::string tag = d.bridge_tag;
    if (tag.empty()) tag = config.bridge == Bridge::Older ? "FK1X" : "q702";
    config.inquiry = BuildBridgeInquiry(d.bridge_vendor, d.bridge_product, tag);
    // A kind-1 bridge has no way to pass the DMA carrier opcodes: the tool uses the PIO carrier.
    config.bridge_passes_dma_carrier = d.bridge_passes_dma_carrier.value_or(tag != "q701");
    if (config.bridge == Bridge::Older) {
        config.loader_inquiry = config.inquiry;
        PutText(config.loader_inquiry, 8, "Generic FCR USB Loader  ");
    }
}

}  // namespace

void BuildImages(const DriveDescription& d, DriveConfig& config) {
    BuildIdentity(d, config);
    config.memory[3].Write(0, BuildLoaderBlock(d, false));
    BuildSystemPages(d, config);
    BuildBadUnitLists(d, config);
    BuildEraseCounts(d, config);
    SmartModel smart = d.smart;
    DeriveSmart(d, smart);
    config.smart_model = smart;
    BuildFirmwareLogs(d, config);
}

}  // namespace vt::sim
