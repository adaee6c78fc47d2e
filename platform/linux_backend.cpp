#include "platform/linux_backend.h"
#include "platform/named_objects.h"
#include "platform/sat_passthrough.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace vt::platform {
namespace {

namespace fs = std::filesystem;

// Kernel-made block devices that are never a drive of ours.
bool IsVirtualDisk(const std::string& sysfs_path) {
    return sysfs_path.find("/devices/virtual/") != std::string::npos;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr unsigned short kDidTimeOut = 0x03;
constexpr unsigned short kDriverTimeout = 0x06;
constexpr unsigned short kDriverStatusMask = 0x07;  // DRIVER_SENSE (08h) is no failure

int SgDirection(Direction direction) {
    switch (direction) {
        case Direction::In:
            return SG_DXFER_FROM_DEV;
        case Direction::Out:
            return SG_DXFER_TO_DEV;
        case Direction::None:
            break;
    }
    return SG_DXFER_NONE;
}

}  // namespace

std::string BusOfSysfsPath(const std::string& sysfs_path) {
    const std::string p = sysfs_path + "/";
    auto has_component = [&](const char* prefix) {
        // A path component that starts with the prefix and continues with a digit or a dash.
        const std::string needle = std::string("/") + prefix;
        for (auto at = p.find(needle); at != std::string::npos; at = p.find(needle, at + 1)) {
            const char next = p[at + needle.size()];
            if ((next >= '0' && next <= '9') || next == '-') return true;
        }
        return false;
    };
    if (has_component("usb")) return "usb";
    if (has_component("fw") || p.find("/firewire") != std::string::npos) return "sbp2";
    if (has_component("ata")) return "ide";
    if (has_component("host")) return "scsi";
    return "other";
}

bool NodeNameLess(const std::string& a, const std::string& b) {
    const std::string na = BaseName(a), nb = BaseName(b);
    if (na.size() != nb.size()) return na.size() < nb.size();
    return na < nb;
}

std::vector<DiskEntry> ListDisksFromSysfs(const std::string& sys_root) {
    std::vector<DiskEntry> disks;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(fs::path(sys_root) / "block", ec)) {
        const std::string name = item.path().filename().string();
        // One readlink: sysfs links are relative to /sys/block, whose own parts are no links, so
        // the lexical result is the canonical one without a readlink of every component. A
        // kernel with the old layout keeps the disk's directory itself there.
        fs::path device = item.path();
        if (item.is_symlink(ec)) {
            const fs::path target = fs::read_symlink(item.path(), ec);
            if (!ec) device = (item.path().parent_path() / target).lexically_normal();
        }
        if (ec) {
            ec.clear();
            continue;
        }
        const std::string sys = device.string();
        if (IsVirtualDisk(sys)) continue;
        const std::string bus = BusOfSysfsPath(sys);
        // The kernel names a node in a subdirectory with "!" in place of "/" (cciss!c0d0).
        std::string node = "/dev/" + name;
        std::replace(node.begin(), node.end(), '!', '/');
        disks.push_back({PathFor(bus, node), bus, node});
    }
    std::sort(disks.begin(), disks.end(),
              [](const DiskEntry& a, const DiskEntry& b) { return NodeNameLess(a.node, b.node); });
    return disks;
}

int LinuxBackend::Open(const std::string& path) {
    const std::string node = NodeOfPath(path);
    if (node.empty()) return -ENOENT;
    // No O_EXCL: on a block device it refuses any disk with a mounted partition.
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int LinuxBackend::ScsiPassThrough(int handle, ScsiRequest& request) {
    if (request.cdb_length == 0 || request.cdb_length > kMaxCdbLength) return EINVAL;
    const bool moves = request.direction != Direction::None;
    if (moves && request.data.size() > UINT_MAX) return EINVAL;
    auto cdb = request.cdb;  // SG_IO takes a mutable pointer
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.cmdp = cdb.data();
    header.cmd_len = request.cdb_length;
    header.sbp = request.sense.data();
    header.mx_sb_len = static_cast<unsigned char>(std::min<std::size_t>(request.sense.size(), 255));
    header.dxfer_direction = SgDirection(request.direction);
    if (moves) {
        header.dxferp = request.data.data();
        header.dxfer_len = static_cast<unsigned>(request.data.size());
    }
    header.timeout = request.timeout_ms;
    if (::ioctl(handle, SG_IO, &header) < 0) return errno;

    auto& outcome = request.outcome;
    const unsigned driver = header.driver_status & kDriverStatusMask;
    outcome.transport = header.host_status == kDidTimeOut || driver == kDriverTimeout
                            ? Transport::TimedOut
                        : header.host_status != 0 || driver != 0 ? Transport::Failed
                                                                 : Transport::Delivered;
    outcome.scsi_status = header.status;
    outcome.sense_length = std::min<std::size_t>(header.sb_len_wr, request.sense.size());
    outcome.residue = static_cast<std::uint32_t>(
        std::clamp<long long>(header.resid, 0, static_cast<long long>(header.dxfer_len)));
    outcome.duration_ms = header.duration;
    return 0;
}

int LinuxBackend::AtaPassThrough(int handle, AtaRequest& request) {
    // The kernel's libata (and a USB bridge's firmware) translates ATA PASS-THROUGH.
    return SendAtaThroughSat(*this, handle, request);
}

void LinuxBackend::Close(int handle) {
    ::close(handle);
}

int LinuxBackend::LockDevice(const std::string& path, std::uint32_t wait_ms) {
    const std::string node = NodeOfPath(path);
    // Read-only: closing it then sends udev no change event.
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -errno;
    const int result = LockWithin(fd, wait_ms);
    if (result == 0) return fd;
    ::close(fd);
    return -result;
}

void LinuxBackend::UnlockDevice(int lock) {
    ::close(lock);
}

std::vector<DiskEntry> LinuxBackend::ListDisks() {
    return ListDisksFromSysfs("/sys");
}

bool LinuxBackend::Rescan(std::string& report) {
    std::error_code ec;
    bool ok = true;
    bool any = false;
    for (const auto& host : fs::directory_iterator("/sys/class/scsi_host", ec)) {
        any = true;
        const std::string scan = (host.path() / "scan").string();
        const int fd = ::open(scan.c_str(), O_WRONLY | O_CLOEXEC);
        const char request[] = "- - -";
        if (fd < 0 || ::write(fd, request, sizeof request - 1) < 0) {
            report += "Rescan of " + scan + " failed: " + std::strerror(errno) + "\n";
            ok = false;
        }
        if (fd >= 0) ::close(fd);
    }
    if (!any) {
        report += "Rescan failed: no SCSI host in /sys/class/scsi_host\n";
        return false;
    }
    return ok;
}

std::optional<DeviceNumber> LinuxBackend::DeviceNumberOf(const std::string& path) {
    struct stat st {};
    if (::stat(NodeOfPath(path).c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    return DeviceNumber{major(st.st_rdev), minor(st.st_rdev)};
}

std::uint64_t LinuxBackend::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void LinuxBackend::SleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace vt::platform
