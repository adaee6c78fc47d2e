#pragma once
// The backend on a real Linux system: device nodes, SG_IO (ATA commands as SAT pass-through),
// udev (or sysfs) and the monotonic clock.

#include <string>
#include <string_view>
#include <vector>

#include "platform/backend.h"

namespace vt::platform {

class LinuxBackend final : public Backend {
  public:
    int Open(const std::string& path) override;
    int ScsiPassThrough(int handle, ScsiRequest& request) override;
    int AtaPassThrough(int handle, AtaRequest& request) override;
    void Close(int handle) override;
    int LockDevice(const std::string& path, std::uint32_t wait_ms) override;
    void UnlockDevice(int lock) override;
    DiskUse DescribeUse(const std::string& path) override;
    int HoldForWriting(const std::string& path) override;
    void ReleaseHold(int hold) override;
    std::vector<DiskEntry> ListDisks() override;
    bool Rescan(std::string& report) override;
    std::optional<DeviceNumber> DeviceNumberOf(const std::string& path) override;
    std::uint64_t NowMs() override;
    void SleepMs(std::uint32_t ms) override;
};

// The bus word of a block device from its resolved sysfs path: the USB parent wins (a USB enclosure
// may well report ID_BUS=ata), then FireWire, then an ATA host, then any SCSI host.
std::string BusOfSysfsPath(const std::string& sysfs_path);

// Whole disks under a sysfs root ("/sys"), in name order; used when udev cannot enumerate.
std::vector<DiskEntry> ListDisksFromSysfs(const std::string& sys_root);

// A block device as sysfs shows it: its name ("sda1"), its device number ("8:1") and the names of
// what holds it ("dm-0 (vg0-home)", "md127").
struct BlockNode {
    std::string name;
    std::string number;
    std::vector<std::string> holders;
};

// A whole disk and its partitions.
struct BlockDisk {
    BlockNode disk;
    std::vector<BlockNode> partitions;
};

// The disk the block device `number` ("8:0") is, or holds the partition of, under a sysfs root.
BlockDisk ReadBlockDisk(const std::string& sys_root, const std::string& number);

// What uses a disk, from its sysfs description and the texts of /proc/self/mountinfo and
// /proc/swaps: mounts of it or a partition (matched by device number, or by source node where a
// file system reports another number), active swap on them, and their holders.
DiskUse DiskUseFrom(const BlockDisk& disk, std::string_view mountinfo, std::string_view swaps);

// Orders disk nodes as people number them: sda, sdb, ..., sdz, sdaa.
bool NodeNameLess(const std::string& a, const std::string& b);

}  // namespace vt::platform
