#include "platform/backend.h"

#include "platform/linux_backend.h"

namespace vt::platform {
namespace {

std::unique_ptr<Backend>& Slot() {
    static std::unique_ptr<Backend> backend;
    return backend;
}

constexpr const char* kBusWords[] = {"ide", "scsi", "usb", "sbp2", "other"};

}  // namespace

Backend& Current() {
    auto& slot = Slot();
    if (!slot) slot = std::make_unique<LinuxBackend>();
    return *slot;
}

std::unique_ptr<Backend> Install(std::unique_ptr<Backend> backend) {
    auto old = std::move(Slot());
    Slot() = std::move(backend);
    return old;
}

std::string NodeOfPath(const std::string& path) {
    const auto colon = path.find(':');
    if (colon == std::string::npos) return path;
    const std::string prefix = path.substr(0, colon);
    for (const char* word : kBusWords) {
        if (prefix == word) return path.substr(colon + 1);
    }
    return path;
}

std::string PathFor(const std::string& bus, const std::string& node) { return bus + ":" + node; }

}  // namespace vt::platform
