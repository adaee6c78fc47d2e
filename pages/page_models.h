#pragma once
// What one refresh read from a drive, page by page, as typed records: the window's page texts
// are rendered from them, and so is every other output (vtutil's text and JSON, metrics). A page
// whose read failed or did not run is nullopt.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pages/bad_block_detail.h"
#include "pages/erase_count.h"
#include "pages/identify.h"
#include "pages/smart.h"
#include "vendor/system_info.h"

namespace vt {

// The Device Info page: one of the two forms.
struct DeviceInfoModel {
    std::optional<SataIdentity> sata;
    std::optional<UsbIdentity> usb;
};

// The SSD Info page: the decoded system information and the drive's capacity.
struct SsdInfoModel {
    SystemInfoRecord info;
    std::uint64_t capacity_mb = 0;
    std::uint64_t capacity_bytes = 0;
};

// The Bad Block Info page: the counts per channel and CE (`banks` CE rows), the detail records.
struct BadBlocksModel {
    BadBlockDetail detail;
    unsigned channels = 0;
    unsigned banks = 0;
    bool block_mode = false;  // units are single blocks, not pairs of blocks (BlockU)
};

// The firmware's UART log, unrolled from its ring.
struct FirmwareLogModel {
    bool from_serial_flash = false;  // the loader's copy, read through a GDP program
    std::uint32_t ring_size = 0;
    std::uint32_t start = 0;  // where the walk of the ring began
    std::vector<std::string> lines;
};

// Controller memory shown as the configuration dump.
struct ConfigDumpModel {
    std::uint32_t first_offset = 0;
    std::vector<std::uint8_t> bytes;
};

struct PageModels {
    std::optional<DeviceInfoModel> device_info;
    std::optional<SsdInfoModel> ssd_info;
    std::optional<EraseCountPage> erase_count;
    std::optional<BadBlocksModel> bad_blocks;
    std::optional<SmartReport> smart;
    std::optional<FirmwareLogModel> firmware_log;
    std::optional<ConfigDumpModel> config_dump;
};

}  // namespace vt
