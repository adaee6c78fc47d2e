#pragma once
// A bench drive as a SCSI disk of the kernel: a user-space backstore of the SCSI target core
// (target_core_user), exported through a loopback target (tcm_loop), and the handler of its
// command ring.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/bench_backend.h"
#include "sim/virtual_drive.h"

namespace vt::serve {

struct TcmuSettings {
    std::string name;    // the backstore's name, unique among this server's disks
    unsigned index = 0;  // numbers the loopback target's WWN
    std::uint64_t size_bytes = 0;
    // Seconds the target core waits for an answer before it ends a command itself; 0 keeps the
    // kernel's default.
    unsigned command_time_out = 0;
    std::string configfs = "/sys/kernel/config";
    bool trace = false;  // one line on standard error per command
};

class TcmuDisk {
  public:
    // Creates and enables the backstore and maps its ring; Export() then shows it to the kernel.
    static std::unique_ptr<TcmuDisk> Create(const TcmuSettings& settings, sim::VirtualDrive& drive,
                                            platform::VirtualClock& clock, std::string& error);
    ~TcmuDisk();
    TcmuDisk(const TcmuDisk&) = delete;
    TcmuDisk& operator=(const TcmuDisk&) = delete;

    // The loopback target with the backstore as its LUN 0: the kernel scans it and sd attaches,
    // inside this call, through the ring: another thread must answer it meanwhile.
    bool Export(std::string& error);
    // Takes the LUN away again (the disk leaves the kernel), as when the drive went away. The
    // removal runs on a thread of its own: sd's detach waits for the commands in flight, which
    // only the caller's further Service() calls answer.
    void Unexport();
    bool Exported() const { return exported_; }
    // The LUN is gone from the kernel: no removal is under way.
    bool Removed() const { return !exported_ && !removing_; }

    int Fd() const { return uio_fd_; }
    // Answers what the ring holds. Returns the milliseconds until a withheld command must be
    // released, or -1 when nothing waits.
    int Service(std::uint64_t now_ms);
    // The drive went away with a command: the caller unexports the disk.
    bool GoneSeen() const { return gone_; }
    std::uint64_t Commands() const { return commands_; }

  private:
    TcmuDisk(TcmuSettings settings, sim::VirtualDrive& drive, platform::VirtualClock& clock);
    bool Open(std::string& error);
    // Answers one entry; false when the drive withholds it.
    bool Answer(std::size_t entry_offset);
    void Release(std::size_t entry_offset);
    void RemoveExport();

    TcmuSettings settings_;
    sim::VirtualDrive& drive_;
    platform::VirtualClock& clock_;
    std::string core_dir_, target_dir_, lun_link_;
    int uio_fd_ = -1;
    std::uint8_t* map_ = nullptr;
    std::size_t map_size_ = 0;
    std::uint32_t tail_ = 0;
    std::atomic<bool> exported_ = false;
    std::atomic<bool> removing_ = false;
    std::thread unexporter_;
    bool gone_ = false;
    std::optional<std::uint64_t> held_until_ms_;  // a withheld command sits at the tail
    std::uint64_t commands_ = 0;
};

}  // namespace vt::serve
