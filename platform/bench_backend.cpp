#include "platform/bench_backend.h"

#include <cerrno>

namespace vt::platform {

int BenchBackend::Open(const std::string& path) {
    if (path.empty()) return -ENOENT;
    const int disk = bus_->OpenDisk(path);
    if (disk < 0) return disk;
    const int handle = next_handle_++;
    handles_[handle] = disk;
    return handle;
}

int BenchBackend::SgIo(int handle, sg_io_hdr_t& request) {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) return EBADF;
    if (request.interface_id != 'S') return ENOSYS;
    return bus_->Execute(it->second, request, clock_);
}

void BenchBackend::Close(int handle) { handles_.erase(handle); }

std::optional<DeviceNumber> BenchBackend::DeviceNumberOf(const std::string& path) {
    const auto disks = bus_->Disks();
    for (std::size_t i = 0; i < disks.size(); ++i) {
        if (disks[i].path == path || disks[i].node == NodeOfPath(path)) {
            return DeviceNumber{8, static_cast<unsigned>(16 * i)};
        }
    }
    return std::nullopt;
}

}  // namespace vt::platform
