#include "platform/bench_backend.h"

#include <unistd.h>

#include <cerrno>

#include "platform/named_objects.h"
#include "platform/sat_passthrough.h"

namespace vt::platform {

int BenchBackend::Open(const std::string& path) {
    if (path.empty()) return -ENOENT;
    const int disk = bus_->OpenDisk(path);
    if (disk < 0) return disk;
    const int handle = next_handle_++;
    handles_[handle] = disk;
    return handle;
}

int BenchBackend::ScsiPassThrough(int handle, ScsiRequest& request) {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) return EBADF;
    return bus_->Execute(it->second, request, clock_);
}

int BenchBackend::AtaPassThrough(int handle, AtaRequest& request) {
    return SendAtaThroughSat(*this, handle, request);
}

void BenchBackend::Close(int handle) {
    handles_.erase(handle);
}

std::optional<std::size_t> BenchBackend::DiskIndexOf(const std::string& path) {
    const auto disks = bus_->Disks();
    for (std::size_t i = 0; i < disks.size(); ++i) {
        if (disks[i].path == path || disks[i].node == NodeOfPath(path)) return i;
    }
    return std::nullopt;
}

std::optional<DeviceNumber> BenchBackend::DeviceNumberOf(const std::string& path) {
    const auto index = DiskIndexOf(path);
    if (!index) return std::nullopt;
    return DeviceNumber{8, static_cast<unsigned>(16 * *index)};
}

int BenchBackend::LockDevice(const std::string& path, std::uint32_t wait_ms) {
    const auto index = DiskIndexOf(path);
    if (!index) return -ENOENT;
    const int disk = static_cast<int>(*index);
    if (lock_namespace_.empty()) {
        for (const auto& [id, held] : locks_) {
            if (held == disk) return -EWOULDBLOCK;
        }
        locks_[next_lock_] = disk;
        return next_lock_++;
    }
    const int fd = OpenLockFile(lock_namespace_ + "-" + std::to_string(disk) + ".lock");
    if (fd < 0) return fd;
    const int result = LockWithin(fd, wait_ms);
    if (result != 0) {
        ::close(fd);
        return -result;
    }
    locks_[next_lock_] = fd;
    return next_lock_++;
}

void BenchBackend::UnlockDevice(int lock) {
    const auto it = locks_.find(lock);
    if (it == locks_.end()) return;
    if (!lock_namespace_.empty()) ::close(it->second);
    locks_.erase(it);
}

BenchBackend::~BenchBackend() {
    if (lock_namespace_.empty()) return;
    for (const auto& [id, fd] : locks_) ::close(fd);
}

}  // namespace vt::platform
