#pragma once
// The Device Info page: the drive's IDENTIFY DEVICE data on a SATA port, or what a USB bridge and
// its configuration say about the drive behind it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vt {

inline constexpr std::size_t kIdentifySize = 512;
inline constexpr std::size_t kUsbConfigBufferSize = 128 * 1024;

// What the SATA group shows, decoded from IDENTIFY DEVICE. Texts are the drive's bytes (Latin-1) up
// to the first zero byte, untrimmed; a mode of -1 means none.
struct SataIdentity {
    std::string model;     // words 27-46
    std::string serial;    // words 10-19
    std::string firmware;  // words 23-26
    unsigned heads = 0, cylinders = 0, sectors_per_track = 0;
    std::uint32_t chs_capacity_sectors = 0;  // words 57-58
    std::uint64_t capacity_sectors = 0;      // words 100-103 with 48-bit addressing, else 60-61
    bool lba48 = false;
    std::uint8_t multiword_dma_support = 0;  // word 63 bits 0-2
    int multiword_dma_selected = -1;
    bool ultra_dma_valid = false;        // word 53 bit 2: word 88 holds something
    std::uint8_t ultra_dma_support = 0;  // word 88 bits 0-6
    int ultra_dma_selected = -1;
    bool smart_supported = false, smart_enabled = false;
    bool security_supported = false, security_enabled = false;
    std::uint64_t wwn = 0;  // words 108-111, first word most significant

    // The highest mode the support bits claim as a contiguous "and below" set; -1 for any other.
    int MultiwordDmaSupportedMode() const;
    int UltraDmaSupportedMode() const;
};

// 512 bytes of IDENTIFY data; missing bytes read as zero.
SataIdentity DecodeIdentify(std::span<const std::uint8_t> identify);

// What the Device Info page shows of a drive behind a USB bridge. Texts are Latin-1, untrimmed.
struct UsbIdentity {
    bool inquiry_read = false;  // false: nothing else was read
    bool loader = false;        // the controller sits in its loader: no configuration is read
    std::uint64_t capacity_mb = 0;
    std::uint64_t capacity_bytes = 0;
    bool config_read = false;  // false: the fields below are not known
    std::uint16_t vendor_id = 0, product_id = 0;
    std::string vendor_name, product_name;
    std::string manufacturer_string, product_string, serial;  // the string descriptors
};

// The configuration part of the identity from the bridge's configuration buffer.
void DecodeUsbConfig(std::span<const std::uint8_t> config, UsbIdentity& identity);

// The UTF-16 units of a string descriptor as the page reads them: `units` from byte `first` (two
// bytes each; the page shows the low byte), the first `shown` of them before a zero.
struct StringDescriptorSpan {
    std::size_t first = 0;
    std::size_t units = 0;
    std::size_t shown = 0;
};
// Where the page finds the USB serial in a configuration buffer (the loader block), by the same
// reading DecodeUsbConfig does: whatever the descriptor's type byte, at most 20 characters.
StringDescriptorSpan UsbSerialSpan(std::span<const std::uint8_t> config);

// The INQUIRY answer of a bridge whose controller sits in its loader.
bool IsBridgeLoaderInquiry(std::span<const std::uint8_t> inquiry);

// Reads IDENTIFY into the first 512 bytes of the buffer (zeroed first); nullopt when the read
// fails.
std::optional<SataIdentity> ReadSataIdentity(unsigned device, std::span<std::uint8_t> buffer);
// INQUIRY, capacity and configuration of a USB bridge, into buffers of its own.
UsbIdentity ReadUsbIdentity(unsigned device);

}  // namespace vt
