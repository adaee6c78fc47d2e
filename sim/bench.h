#pragma once
// The virtual drive bench: the disks a bench file describes, presented to the platform layer in
// file order, with what each disk received kept for tests.

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "platform/bench_backend.h"
#include "sim/command_log.h"
#include "sim/drive_config.h"
#include "sim/virtual_drive.h"

namespace vt::sim {

class Bench final : public platform::VirtualBus {
  public:
    explicit Bench(std::vector<DriveConfig> drives);

    std::vector<platform::DiskEntry> Disks() override;
    int OpenDisk(const std::string& path) override;
    int Execute(int disk, platform::ScsiRequest& request, platform::VirtualClock& clock) override;
    // Disks that went away drop out of the enumeration, as after a real bus rescan.
    bool Rescan(std::string& report) override;
    platform::DiskUse Use(int disk) override;

    std::size_t DiskCount() const { return drives_.size(); }
    // The disk a path names (as the enumeration reports it, or its node), or -1.
    int DiskOf(const std::string& path) const;
    const std::string& PathOf(std::size_t disk) const { return entries_.at(disk).path; }
    VirtualDrive& Drive(std::size_t disk) { return *drives_.at(disk); }

    // Every command the disk received, in order.
    const std::vector<LoggedCommand>& Log(std::size_t disk) const;
    // Only the vendor commands (carrier and direct), in order.
    std::vector<LoggedCommand> VendorLog(std::size_t disk) const;
    void ClearLog();
    void ClearLog(std::size_t disk);

  private:
    std::vector<std::unique_ptr<VirtualDrive>> drives_;
    std::vector<platform::DiskEntry> entries_;
    std::vector<bool> listed_;
};

// The bench behind a bench backend (one made by the functions below).
Bench& BenchOf(platform::BenchBackend& backend);

// A bench from a bench file; nullptr and a message naming the file, the key and the problem when
// the file is refused.
std::unique_ptr<platform::BenchBackend> LoadBenchFile(const std::string& path, std::string& error);
// A bench from a JSON document given inline; files named in it are relative to the working
// directory.
std::unique_ptr<platform::BenchBackend> MakeBench(const nlohmann::json& document,
                                                  std::string& error);
// The built-in demo bench.
std::unique_ptr<platform::BenchBackend> MakeDemoBench();
// The description of one drive of the largest geometry the tables hold (8 channels x 8 CE,
// 4096 blocks per CE) with bad blocks in every summary column: what the benchmarks and the
// window's fit checks measure.
nlohmann::json LargestGeometryDrive();

}  // namespace vt::sim
