#include "pages/refresh_state.h"

#include <string>
#include <string_view>

#include "ctrl/read_system_info.h"

namespace vt {

std::array<std::uint8_t, kTransferBufferSize> TransferBuffer{};
bool UseDramLayout = false;
std::optional<BadBlockMarks> BadBlockMap;

std::string GdpPathIn(const std::string& program_dir) {
    std::string path = program_dir;
    if (path.empty() || path.back() != '/') path += '/';
    return path + "GDP.bin";
}

bool RunsFirmwareLogView(const SystemInfoRecord& info) {
    return ControllerModel(info) == "K38" && ControllerBuild(info) == '3';
}

bool DramLayoutForRevision(const SystemInfoRecord& info) {
    const char revision[] = {static_cast<char>(info.FwInfo[0x29]),
                             static_cast<char>(info.FwInfo[0x2A]), '\0'};
    const std::string_view text(revision, 2);
    return text != "42" && text != "43" && text != "44";
}

}  // namespace vt
