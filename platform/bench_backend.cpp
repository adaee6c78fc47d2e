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
            if (held.disk == disk) return -EWOULDBLOCK;
        }
        locks_[next_lock_] = HeldLock{disk, -1, {}};
        return next_lock_++;
    }
    // One file per drive, there only while a process holds the drive.
    std::string file = lock_namespace_ + "-" + std::to_string(disk) + ".lock";
    const int fd = LockRemovableFile(file, wait_ms);
    if (fd < 0) return fd;
    locks_[next_lock_] = HeldLock{disk, fd, std::move(file)};
    return next_lock_++;
}

void BenchBackend::UnlockDevice(int lock) {
    const auto it = locks_.find(lock);
    if (it == locks_.end()) return;
    if (it->second.fd >= 0) ReleaseRemovableFile(it->second.file, it->second.fd);
    locks_.erase(it);
}

DiskUse BenchBackend::DescribeUse(const std::string& path) {
    const auto index = DiskIndexOf(path);
    return index ? bus_->Use(static_cast<int>(*index)) : DiskUse{};
}

int BenchBackend::HoldForWriting(const std::string& path) {
    const auto index = DiskIndexOf(path);
    if (!index) return -ENOENT;
    const int disk = static_cast<int>(*index);
    if (bus_->Use(disk).InUse()) return -EBUSY;
    for (const auto& [id, held] : holds_) {
        if (held == disk) return -EBUSY;
    }
    holds_[next_lock_] = disk;
    return next_lock_++;
}

BenchBackend::~BenchBackend() {
    for (const auto& [id, held] : locks_) {
        if (held.fd >= 0) ReleaseRemovableFile(held.file, held.fd);
    }
}

}  // namespace vt::platform
