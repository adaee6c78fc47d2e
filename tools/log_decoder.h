#pragma once
// The log file decoder: scrambled log files are a per-byte transform of the tool's own, undone
// byte by byte; the decoded copy keeps the length.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vt {

inline constexpr std::uint8_t kLogDecodeAddend = 0x3B;
inline constexpr const char* kDecodedSuffix = ".decode";
// The largest log decoded: far past any log a drive or the tool writes, and small enough that a
// stray disk image or sparse file does not fill the disk with its decoded copy.
inline constexpr std::uint64_t kMaxLogBytes = std::uint64_t{1} << 30;

// The complement of (byte + addend) modulo 256.
std::uint8_t DecodeLogByte(std::uint8_t byte, std::uint8_t addend);
std::vector<std::uint8_t> DecodeLogBytes(std::span<const std::uint8_t> bytes);

// Told the bytes decoded so far and the input's size: once before the first and after each piece.
using DecodeProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Reads `input` and writes its decoded copy to `output`, replacing it once complete. False with
// `error` naming the file and the reason when the input cannot be read, is past kMaxLogBytes or
// would not fit in the free space of the output's file system, or the output cannot be written;
// nothing is written then. An interrupt (SIGINT, SIGTERM) meanwhile removes the partial copy.
bool DecodeLogFile(const std::string& input, const std::string& output, std::string& error,
                   const DecodeProgress& progress = {});

}  // namespace vt
