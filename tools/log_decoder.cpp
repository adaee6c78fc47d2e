#include "tools/log_decoder.h"

#include <limits>

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

bool DecodeLogFile(const std::string& input, const std::string& output, std::string& error) {
    std::string reason;
    const auto bytes =
        platform::ReadFileBytes(input, std::numeric_limits<std::size_t>::max(), reason);
    if (!bytes) {
        error = reason;
        return false;
    }
    if (!platform::ReplaceFile(output, DecodeLogBytes(*bytes), reason)) {
        // The reason without the name of the temporary file the write went through.
        const auto colon = reason.rfind(": ");
        error = "Cannot write " + output + ": " +
                (colon == std::string::npos ? reason : reason.substr(colon + 2));
        return false;
    }
    return true;
}

}  // namespace vt
