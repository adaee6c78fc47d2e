#pragma once
// Everything a virtual disk is at power-on: how it is attached, who answers, and the byte images
// its controller returns. The bench file (raw keys, high-level descriptions) produces one per disk.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/backend.h"
#include "sim/bytes.h"
#include "sim/faults.h"
#include "sim/smart_model.h"
#include "sim/sparse_bytes.h"

namespace vt::sim {

enum class DiskState {
    Present,
    Silent,  // opens, but no command ever completes
    Gone,    // listed by the enumeration, but no longer opens
};

enum class Bridge {
    None,       // the disk sits on an ATA host (or behind a SCSI/ATA translation layer)
    Supported,  // a USB bridge that passes ATA PASS-THROUGH(12) and the carrier through
    Older,      // a USB bridge that takes vendor command blocks as its own commands
};

enum class ControllerMode {
    Firmware,
    Loader,
    Program,  // running code downloaded into program RAM
};

struct DriveConfig {
    std::string bus = "ide";
    std::string node;  // "/dev/sdX"; given by the bench when empty
    DiskState state = DiskState::Present;
    platform::DiskUse use;  // what the system would say uses the disk
    Bridge bridge = Bridge::None;
    // Some bridges know the DMA carrier opcodes as nothing they can pass and refuse them.
    bool bridge_passes_dma_carrier = true;
    bool vendor = true;
    ControllerMode mode = ControllerMode::Firmware;

    Bytes identify;
    Bytes loader_identify;
    Bytes inquiry;
    Bytes loader_inquiry;
    std::uint64_t capacity_sectors = 0;
    Bytes status_sector;

    // By space; the drive takes it over as its state when it starts (VirtualDrive::State).
    std::map<std::uint8_t, SparseBytes> memory;
    std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>, SparseBytes>
        system_pages;  // bank, unit, page
    std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>, Bytes>
        flash_pages;  // ch, bank, block, page
    std::map<std::pair<std::uint32_t, std::uint32_t>, Bytes> bad_unit_lists;  // channel, CE
    std::map<std::pair<std::uint32_t, std::uint32_t>, Bytes> erase_counts;    // channel, table
    std::optional<Bytes> smart_data, smart_thresholds, smart_usb;
    std::optional<SmartModel> smart_model;  // generates the SMART sectors when not given raw
    std::optional<Bytes> spi_flash;
    std::optional<Bytes> dram_layout;
    std::map<std::uint32_t, std::uint8_t> registers;

    std::vector<FaultSpec> faults;
};

}  // namespace vt::sim
