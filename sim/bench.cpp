#include "sim/bench.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace vt::sim {
namespace {

// sda, sdb, ..., sdz, sdaa, ...
std::string NodeName(std::size_t index) {
    std::string letters;
    std::size_t n = index + 1;
    while (n > 0) {
        --n;
        letters.insert(letters.begin(), static_cast<char>('a' + n % 26));
        n /= 26;
    }
    return "/dev/sd" + letters;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

Bench::Bench(std::vector<DriveConfig> drives) {
    // One limit for the bench: its memory stays bounded however many drives a client writes to.
    const auto written = std::make_shared<WrittenSectors>();
    for (std::size_t i = 0; i < drives.size(); ++i) {
        DriveConfig& config = drives[i];
        if (config.node.empty()) config.node = NodeName(i);
        platform::DiskEntry entry;
        entry.bus = config.bus;
        entry.node = config.node;
        entry.path =
            config.bus == "other" ? config.node : platform::PathFor(config.bus, config.node);
        entries_.push_back(entry);
        listed_.push_back(true);
        drives_.push_back(std::make_unique<VirtualDrive>(std::move(config)));
        drives_.back()->ShareWrittenSectors(written);
    }
}

std::vector<platform::DiskEntry> Bench::Disks() {
    std::vector<platform::DiskEntry> disks;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (listed_[i]) disks.push_back(entries_[i]);
    }
    return disks;
}

int Bench::DiskOf(const std::string& path) const {
    // The device scan lower-cases a path before it opens it.
    const std::string wanted = Lower(path);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (Lower(entries_[i].path) == wanted || Lower(entries_[i].node) == wanted) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int Bench::OpenDisk(const std::string& path) {
    const int disk = DiskOf(path);
    if (disk < 0) return -ENOENT;
    if (!drives_[static_cast<std::size_t>(disk)]->Opens()) return -ENODEV;
    return disk;
}

int Bench::Execute(int disk, platform::ScsiRequest& request, platform::VirtualClock& clock) {
    if (disk < 0 || static_cast<std::size_t>(disk) >= drives_.size()) return ENODEV;
    return drives_[static_cast<std::size_t>(disk)]->Execute(request, clock);
}

platform::DiskUse Bench::Use(int disk) {
    if (disk < 0 || static_cast<std::size_t>(disk) >= drives_.size()) return {};
    return drives_[static_cast<std::size_t>(disk)]->Config().use;
}

bool Bench::Rescan(std::string& report) {
    report.clear();
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        if (!drives_[i]->Opens()) listed_[i] = false;
    }
    return true;
}

const std::vector<LoggedCommand>& Bench::Log(std::size_t disk) const {
    return drives_.at(disk)->State().log;
}

std::vector<LoggedCommand> Bench::VendorLog(std::size_t disk) const {
    std::vector<LoggedCommand> vendor;
    for (const auto& entry : Log(disk)) {
        if (entry.kind == CommandKind::VendorCarrier || entry.kind == CommandKind::VendorDirect) {
            vendor.push_back(entry);
        }
    }
    return vendor;
}

void Bench::ClearLog() {
    for (auto& drive : drives_) drive->State().log.clear();
}

void Bench::ClearLog(std::size_t disk) {
    drives_.at(disk)->State().log.clear();
}

Bench& BenchOf(platform::BenchBackend& backend) {
    return dynamic_cast<Bench&>(backend.Bus());
}

}  // namespace vt::sim
