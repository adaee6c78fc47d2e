#pragma once
// From a drive description to the byte images its controller returns: IDENTIFY and INQUIRY data,
// the loader block, the system pages with their defect, early bad, remap and later-bad tables, the
// bad-unit lists, the erase count tables, SMART, the firmware logs and the serial flash.

#include <cstdint>
#include <string>

#include "sim/bytes.h"
#include "sim/drive_config.h"
#include "sim/drive_description.h"

namespace vt::sim {

// Fills every image of `config` the description defines (bus and bridge come from `config`).
void BuildImages(const DriveDescription& description, DriveConfig& config);

// Unit and block numbers as the host derives them from the flash configuration: Toshiba flash
// without configuration bit 5 numbers the units of each die contiguously.
class UnitMap {
  public:
    explicit UnitMap(const DriveDescription& description);
    std::uint32_t BlockToUnit(std::uint32_t block) const;
    std::uint32_t UnitToBlock(std::uint32_t unit) const;
    std::uint32_t UnitsPerDie() const { return units_per_die_; }

  private:
    bool toshiba_;
    std::uint32_t units_per_die_;
};

// IDENTIFY DEVICE data (512 bytes, strings in ATA byte order, checksummed).
Bytes BuildIdentify(const std::string& model, const std::string& serial,
                    const std::string& firmware, std::uint64_t sectors, std::uint16_t rotation);
// INQUIRY data as libata answers for an ATA disk.
Bytes BuildAtaInquiry(const Bytes& identify);
// INQUIRY data of a USB bridge, with its four-byte tag at bytes 36-39.
Bytes BuildBridgeInquiry(const std::string& vendor, const std::string& product,
                         const std::string& tag);

// The 4 KiB loader block; the flash copy differs from the memory copy at 0x520.
Bytes BuildLoaderBlock(const DriveDescription& description, bool flash_copy);
std::uint16_t FlashConfigWord(const FlashGeometry& flash);

void BuildSystemPages(const DriveDescription& description, DriveConfig& config);
void BuildBadUnitLists(const DriveDescription& description, DriveConfig& config);
void BuildEraseCounts(const DriveDescription& description, DriveConfig& config);
void BuildFirmwareLogs(const DriveDescription& description, DriveConfig& config);

// The erase count the bench gives a block: the description's average, spread by a fixed hash.
std::uint32_t WearOf(const DriveDescription& description, std::uint32_t channel, std::uint32_t ce,
                     std::uint32_t block);

}  // namespace vt::sim
