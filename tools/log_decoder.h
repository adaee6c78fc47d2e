#pragma once
// The log file decoder: scrambled log files are a per-byte transform of the tool's own, undone
// byte by byte; the decoded copy keeps the length.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vt {

inline constexpr std::uint8_t kLogDecodeAddend = 0x3B;
inline constexpr const char* kDecodedSuffix = ".decode";
// The largest log decoded.
inline constexpr std::uint64_t kMaxLogBytes = std::uint64_t{16} << 30;

// The complement of (byte + addend) modulo 256.
std::uint8_t DecodeLogByte(std::uint8_t byte, std::uint8_t addend);
std::vector<std::uint8_t> DecodeLogBytes(std::span<const std::uint8_t> bytes);

// Reads `input` and writes its decoded copy to `output`, replacing it. False with `error` naming
// the file and the reason when the input cannot be read or the output cannot be written; nothing
// is written then.
bool DecodeLogFile(const std::string& input, const std::string& output, std::string& error);

}  // namespace vt
