#include "platform/backend.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>

#include "platform/system_backend.h"

namespace vt::platform {
namespace {

std::unique_ptr<Backend>& Slot() {
    static std::unique_ptr<Backend> backend;
    return backend;
}

constexpr const char* kBusWords[] = {"ide", "scsi", "usb", "sbp2", "other"};

// The bus word in front of a path's node; nullptr when it carries none.
const char* BusWordOf(const std::string& path) {
    const auto colon = path.find(':');
    if (colon == std::string::npos) return nullptr;
    const std::string prefix = path.substr(0, colon);
    for (const char* word : kBusWords) {
        if (prefix == word) return word;
    }
    return nullptr;
}

// The enumerator of a device interface path ("\\?\usbstor#disk&ven_..."): its first component.
const char* BusWordOfInterface(const std::string& path) {
    if (path.size() < 4 || path[0] != '\\' || path[1] != '\\' || path[3] != '\\') return nullptr;
    if (path[2] != '?' && path[2] != '.') return nullptr;
    const auto hash = path.find('#', 4);
    if (hash == std::string::npos) return nullptr;
    std::string enumerator = path.substr(4, hash - 4);
    std::transform(enumerator.begin(), enumerator.end(), enumerator.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (enumerator == "ide") return "ide";
    if (enumerator == "scsi") return "scsi";
    if (enumerator == "usbstor" || enumerator == "usb") return "usb";
    if (enumerator == "sbp2") return "sbp2";
    return nullptr;
}

struct HeldDrive {
    Backend* backend = nullptr;
    int lock = -1;
    int holds = 0;
};

// The drives this process holds, by node.
std::map<std::string, HeldDrive>& HeldDrives() {
    static std::map<std::string, HeldDrive> held;
    return held;
}

}  // namespace

Backend& Current() {
    auto& slot = Slot();
    if (!slot) slot = MakeSystemBackend();
    return *slot;
}

std::unique_ptr<Backend> Install(std::unique_ptr<Backend> backend) {
    auto old = std::move(Slot());
    Slot() = std::move(backend);
    return old;
}

std::string NodeOfPath(const std::string& path) {
    return BusWordOf(path) ? path.substr(path.find(':') + 1) : path;
}

std::string BusOfPath(const std::string& path) {
    const char* word = BusWordOf(path);
    if (word == nullptr) word = BusWordOfInterface(path);
    return word ? word : "other";
}

DriveLock::DriveLock(const std::string& path) : node_(NodeOfPath(path)) {
    if (node_.empty()) return;
    Backend& backend = Current();
    auto& held = HeldDrives();
    auto it = held.find(node_);
    if (it != held.end() && it->second.backend == &backend) {
        ++it->second.holds;
        return;
    }
    const int lock = backend.LockDevice(path, kDriveLockWaitMs);
    if (lock == -EWOULDBLOCK) {
        const std::string node = node_;
        node_.clear();
        throw DeviceBusyError(node);
    }
    held[node_] = HeldDrive{&backend, lock, 1};
}

DriveLock::~DriveLock() {
    if (node_.empty()) return;
    auto& held = HeldDrives();
    const auto it = held.find(node_);
    if (it == held.end() || --it->second.holds > 0) return;
    // A backend replaced meanwhile took its locks with it.
    if (it->second.lock >= 0 && it->second.backend == &Current()) {
        Current().UnlockDevice(it->second.lock);
    }
    held.erase(it);
}

bool DiskUse::HoldsRoot() const {
    return system_volume || std::any_of(users.begin(), users.end(), [](const DiskUser& user) {
               return user.kind == DiskUser::Kind::Mount && user.what == "/";
           });
}

WriteHold::WriteHold(const std::string& path)
    : backend_(&Current()), hold_(backend_->HoldForWriting(path)) {}

WriteHold::~WriteHold() {
    // A backend replaced meanwhile took its holds with it.
    if (hold_ >= 0 && backend_ == &Current()) backend_->ReleaseHold(hold_);
}

std::string PathFor(const std::string& bus, const std::string& node) {
    return bus + ":" + node;
}

}  // namespace vt::platform
