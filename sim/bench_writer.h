#pragma once
// Writing a drive's raw keys as a bench file: the counterpart of the reader in bench_file.cpp, for
// drives recorded from real hardware. Every answer is kept byte for byte; long stretches of 00h
// or FFh become a fill with patches so that a capture stays small enough to mail.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "sim/bytes.h"

namespace vt::sim {

// Bytes known at their offsets in a larger space; what was never written is unknown. A later write
// replaces the bytes it covers.
class KnownBytes {
  public:
    void Write(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Contiguous known stretches in address order (adjacent writes are joined).
    const std::map<std::uint64_t, Bytes>& Runs() const { return runs_; }
    bool Empty() const { return runs_.empty(); }
    // One past the last known byte.
    std::uint64_t End() const;
    // Overwrites bytes already known in [offset, offset + size); unknown bytes stay unknown.
    void Patch(std::uint64_t offset, std::span<const std::uint8_t> bytes);

  private:
    std::map<std::uint64_t, Bytes> runs_;
};

// A BLOB of exactly these bytes: a hex string when that is short or the bytes are dense, otherwise
// {"size", "fill", "patches"}.
nlohmann::ordered_json BlobJson(std::span<const std::uint8_t> bytes);
// A BLOB from position 0 over known stretches; the gaps read as 00h.
nlohmann::ordered_json BlobJson(const KnownBytes& bytes);

struct RawFault {
    std::string op;  // "vendor:86", "ata:EC", "scsi:12"
    std::uint64_t skip = 0;
    std::uint64_t count = 1;
    std::string effect;  // "fail", "timeout", "gone"
};

using PageKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;
using FlashPageKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>;
using PairKey = std::pair<std::uint32_t, std::uint32_t>;

// One drive by the raw keys of a bench file; what is unset is left out.
struct RawDrive {
    std::string bus = "ide";
    std::optional<std::string> bridge;  // "supported", "older"
    std::optional<bool> vendor;
    std::optional<std::string> mode;  // "firmware", "loader"
    std::optional<Bytes> identify, loader_identify, inquiry, loader_inquiry;
    std::optional<std::uint64_t> capacity_sectors;
    std::optional<Bytes> status_sector;
    std::map<std::uint8_t, KnownBytes> memory;
    std::map<PageKey, KnownBytes> system_pages;
    std::map<FlashPageKey, Bytes> flash_pages;
    std::map<PairKey, Bytes> bad_unit_lists;
    std::map<PairKey, Bytes> erase_counts;
    std::optional<Bytes> smart_data, smart_thresholds, smart_usb;
    std::optional<KnownBytes> spi_flash;
    std::optional<Bytes> dram_layout;
    std::map<std::uint32_t, std::uint8_t> registers;
    std::vector<RawFault> faults;
};

// The drive's object of a bench file, keys in the order of the format's description. Memory
// stretches that read as zeros are left out: unset memory reads 0.
nlohmann::ordered_json RawDriveJson(const RawDrive& drive);

}  // namespace vt::sim
