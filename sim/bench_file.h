#pragma once
// The bench file: a JSON document that lists the disks of the bench in enumeration order, each by
// raw byte regions, by a high-level description, or both (a raw region wins over a generated one).

#include <nlohmann/json.hpp>

#include <filesystem>
#include <vector>

#include "platform/helper_protocol.h"
#include "sim/drive_config.h"

namespace vt::sim {

// The largest bench file read.
inline constexpr std::size_t kMaxBenchFileBytes = 64 * 1024 * 1024;
// The most drives a bench holds: as many as the drive list and the helper's disk list take; a
// drive past them would cost its memory and never be listed.
inline constexpr std::size_t kMaxBenchDrives = platform::helper::kMaxDisks;

// The disks of a bench document; files it names are relative to `base_dir`. Throws BenchError.
std::vector<DriveConfig> ReadBenchDocument(const nlohmann::json& document,
                                           const std::filesystem::path& base_dir);

}  // namespace vt::sim
