#pragma once
// File writing for a tool that runs as root in directories others may write to: no file is created
// through a symbolic link planted at its name, and a report replaces its old copy only once the new
// one is complete.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vt::platform {

// Appends bytes to a file, creating it. False when it cannot be opened or written.
bool AppendToFile(const std::string& path, std::span<const std::uint8_t> bytes);
// Creates or truncates a file and writes bytes to it.
bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);
// Writes a temporary file beside the target and renames it over the target. On failure the old
// file is untouched and `error` says why.
bool ReplaceFile(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error);
// Reads at most max_bytes of a file; nullopt when it cannot be read (error says why).
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path,
                                                       std::size_t max_bytes, std::string& error);

// The directory of the running executable (through /proc/self/exe), with no trailing slash.
std::string ProgramDirectory();

}  // namespace vt::platform
