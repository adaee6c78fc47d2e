#include "sim/smart_model.h"

namespace vt::sim {
namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kEntries = 30;
constexpr std::size_t kEntrySize = 12;

std::uint64_t RawOf(const SmartAttribute& attribute, const SmartCounters& counters) {
    switch (attribute.id) {
        case kPowerOnHoursId:
            return counters.power_on_hours;
        case kPowerCyclesId:
            return counters.power_cycles;
        case kPowerLossId:
            return counters.power_loss;
        default:
            return attribute.raw;
    }
}

// ATA keeps a checksum in the last byte: the sector's bytes sum to 0 modulo 256.
void Checksum(Bytes& sector) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < kSector; ++i) sum = static_cast<std::uint8_t>(sum + sector[i]);
    sector[kSector - 1] = static_cast<std::uint8_t>(0x100 - sum);
}

}  // namespace

Bytes BuildSmartData(const SmartModel& model, const SmartCounters& counters) {
    Bytes sector(kSector, 0);
    PutLe16(sector, 0, model.revision);
    for (std::size_t i = 0; i < model.attributes.size() && i < kEntries; ++i) {
        const auto& attribute = model.attributes[i];
        const std::size_t at = 2 + i * kEntrySize;
        sector[at] = attribute.id;
        PutLe16(sector, at + 1, attribute.flags);
        sector[at + 3] = attribute.value;
        sector[at + 4] = attribute.worst;
        const std::uint64_t raw = RawOf(attribute, counters);
        for (std::size_t b = 0; b < 6; ++b)
            sector[at + 5 + b] = static_cast<std::uint8_t>(raw >> (8 * b));
    }
    Checksum(sector);
    return sector;
}

Bytes BuildSmartThresholds(const SmartModel& model) {
    Bytes sector(kSector, 0);
    PutLe16(sector, 0, model.revision);
    for (std::size_t i = 0; i < model.attributes.size() && i < kEntries; ++i) {
        const std::size_t at = 2 + i * kEntrySize;
        sector[at] = model.attributes[i].id;
        sector[at + 1] = model.attributes[i].threshold;
    }
    Checksum(sector);
    return sector;
}

}  // namespace vt::sim
