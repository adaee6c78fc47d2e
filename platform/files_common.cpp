#include "platform/files.h"

#include <algorithm>
#include <array>
#include <random>

#include "platform/temporary_name.h"

// The parts of the file services that are the same on every system.

namespace vt::platform {

std::string TemporarySuffix() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix = ".";
    for (int i = 0; i < 6; ++i) suffix += kLetters[pick(random)];
    return suffix;
}

bool ReplaceFile(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error,
                 OutputTarget target) {
    ReplacementFile file(path, target);
    if (file.Write(bytes) && file.Commit()) return true;
    error = file.error();
    return false;
}

std::optional<std::vector<std::uint8_t>> ReadFileHead(const std::string& path,
                                                      std::size_t max_bytes, std::string& error,
                                                      bool& cut, InputFile::Links links) {
    cut = false;
    InputFile file(path, links);
    if (!file.IsOpen()) {
        error = file.error();
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), max_bytes)));
    std::array<std::uint8_t, 65536> chunk{};
    while (bytes.size() < max_bytes) {
        const std::size_t want = std::min(chunk.size(), max_bytes - bytes.size());
        const auto n = file.Read(std::span(chunk).first(want));
        if (!n) {
            error = file.error();
            return std::nullopt;
        }
        if (*n == 0) return bytes;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*n));
    }
    std::uint8_t probe = 0;
    const auto more = file.Read({&probe, 1});
    cut = more && *more > 0;
    return bytes;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path,
                                                       std::size_t max_bytes, std::string& error) {
    bool cut = false;
    auto bytes = ReadFileHead(path, max_bytes, error, cut);
    if (bytes && cut) {
        error = path + " is larger than the limit of " + std::to_string(max_bytes) + " bytes";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace vt::platform
