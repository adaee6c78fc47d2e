#include "tools/log_decoder.h"

#include <filesystem>
#include <optional>

#include "platform/files.h"

namespace vt {

std::uint8_t DecodeLogByte(std::uint8_t byte, std::uint8_t addend) {
    return static_cast<std::uint8_t>(~static_cast<std::uint8_t>(byte + addend));
}

std::vector<std::uint8_t> DecodeLogBytes(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> decoded(bytes.size());
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        decoded[k] = DecodeLogByte(bytes[k], kLogDecodeAddend);
    }
    return decoded;
}

namespace {

// The free space where `output` goes, when the system tells.
std::optional<std::uint64_t> FreeSpaceFor(const std::string& output) {
    std::filesystem::path dir = std::filesystem::path(output).parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    const auto space = std::filesystem::space(dir, ec);
    if (ec) return std::nullopt;
    return space.available;
}

}  // namespace

bool DecodeLogFile(const std::string& input, const std::string& output, std::string& error,
                   const DecodeProgress& progress) {
    platform::InputFile in(input);
    if (!in.IsOpen()) {
        error = in.error();
        return false;
    }
    if (in.size() > kMaxLogBytes) {
        error = input + " is larger than the limit of " + std::to_string(kMaxLogBytes) + " bytes";
        return false;
    }
    // The copy is as large as the log (a sparse log's copy is not sparse): a disk it would fill is
    // refused before anything is written.
    if (const auto room = FreeSpaceFor(output); room && *room < in.size()) {
        error = "Cannot write " + output + ": it needs " + std::to_string(in.size()) +
                " bytes and its file system has " + std::to_string(*room) + " free";
        return false;
    }
    if (progress) progress(0, in.size());
    platform::ReplacementFile out(output);
    if (!out.IsOpen()) {
        error = out.error();
        return false;
    }
    // In pieces: a log of any size decodes in the same memory.
    std::vector<std::uint8_t> chunk(1 << 20);
    std::uint64_t total = 0;
    for (;;) {
        const auto n = in.Read(chunk);
        if (!n) {
            error = in.error();
            return false;
        }
        if (*n == 0) break;
        total += *n;
        if (total > kMaxLogBytes) {
            error =
                input + " is larger than the limit of " + std::to_string(kMaxLogBytes) + " bytes";
            return false;
        }
        for (std::size_t k = 0; k < *n; ++k) chunk[k] = DecodeLogByte(chunk[k], kLogDecodeAddend);
        if (!out.Write(std::span(chunk).first(*n))) {
            error = out.error();
            return false;
        }
        if (progress) progress(total, in.size());
    }
    if (!out.Commit()) {
        error = out.error();
        return false;
    }
    return true;
}

}  // namespace vt
