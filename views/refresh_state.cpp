#include "views/refresh_state.h"

#include <string>

namespace vt {

std::array<std::uint8_t, kTransferBufferSize> TransferBuffer{};
bool UseDramLayout = false;
std::optional<BadBlockMarks> BadBlockMap;

std::string GdpPathIn(const std::string& program_dir) {
    std::string path = program_dir;
    if (path.empty() || path.back() != '/') path += '/';
    return path + "GDP.bin";
}

}  // namespace vt
