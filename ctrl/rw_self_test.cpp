#include "ctrl/rw_self_test.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>

#include "access/device_tables.h"
#include "platform/backend.h"
#include "vendor/catalogue.h"
#include "vendor/loader_mode.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

constexpr std::size_t kWordsPerSector = 256;

bool Fits(std::size_t size, unsigned sectors) {
    return sectors <= kSelfTestMaxSectors && std::size_t{sectors} * 512 <= size;
}

// One sector of the pattern, starting at `first`. A fixed trip count lets the compiler work on
// many words at once; the bytes are put little-endian whatever the host.
constexpr std::array<std::uint16_t, kWordsPerSector> kRamp = [] {
    std::array<std::uint16_t, kWordsPerSector> ramp{};
    for (std::size_t j = 0; j < ramp.size(); ++j) ramp[j] = static_cast<std::uint16_t>(j);
    return ramp;
}();

void SectorPattern(std::uint16_t first, std::array<std::uint16_t, kWordsPerSector>& words) {
    for (std::size_t j = 0; j < kWordsPerSector; ++j) {
        words[j] = static_cast<std::uint16_t>(kRamp[j] + first);
    }
    if constexpr (std::endian::native != std::endian::little) {
        for (auto& w : words) w = static_cast<std::uint16_t>(w << 8 | w >> 8);
    }
}

}  // namespace

bool FillPattern(std::span<std::uint8_t> buffer, unsigned sectors, std::uint64_t lba) {
    if (!Fits(buffer.size(), sectors)) return false;
    std::array<std::uint16_t, kWordsPerSector> words;
    auto first = static_cast<std::uint16_t>(lba << 8);
    for (unsigned s = 0; s < sectors; ++s, first = static_cast<std::uint16_t>(first + 256)) {
        SectorPattern(first, words);
        std::memcpy(buffer.data() + std::size_t{s} * 512, words.data(), 512);
    }
    return true;
}

bool MatchesPattern(std::span<const std::uint8_t> buffer, unsigned sectors, std::uint64_t lba) {
    if (!Fits(buffer.size(), sectors)) return false;
    std::array<std::uint16_t, kWordsPerSector> words;
    auto first = static_cast<std::uint16_t>(lba << 8);
    for (unsigned s = 0; s < sectors; ++s, first = static_cast<std::uint16_t>(first + 256)) {
        SectorPattern(first, words);
        if (std::memcmp(buffer.data() + std::size_t{s} * 512, words.data(), 512) != 0) return false;
    }
    return true;
}

std::vector<std::uint32_t> SelfTestRegions(std::uint32_t gib) {
    const std::uint32_t spacing = gib / 16u + 1;
    std::vector<std::uint32_t> regions;
    for (std::uint64_t i = 0; i < gib; i += spacing)
        regions.push_back(static_cast<std::uint32_t>(i));
    return regions;
}

std::vector<std::string> DiskUseLines(const platform::DiskUse& use) {
    using Kind = platform::DiskUser::Kind;
    std::vector<std::string> lines;
    for (const auto& user : use.users) {
        switch (user.kind) {
            case Kind::Mount:
                lines.push_back(user.device + " is mounted on " + user.what);
                break;
            case Kind::Swap:
                lines.push_back(user.device + " is an active swap area");
                break;
            case Kind::Holder:
                lines.push_back(user.device + " is held by " + user.what);
                break;
        }
    }
    return lines;
}

std::string InUseRefusal(const std::string& path, int error, const platform::DiskUse& use) {
    const std::string disk = platform::NodeOfPath(path);
    std::string text = "R/W Test refused: ";
    if (error != EBUSY) {
        return text + disk + " cannot be held for writing (" + std::strerror(error) +
               "). Nothing was written.";
    }
    text += disk + " is in use";
    const auto lines = DiskUseLines(use);
    if (lines.empty()) {
        text +=
            ": another program has it open exclusively (a partitioning, RAID or file system "
            "tool, say)";
    } else {
        text += ": ";
        for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "; " : "") + lines[i];
    }
    text += ". The test overwrites user data, so it runs only on a disk nothing uses. ";
    if (use.HoldsRoot()) {
        text += disk +
                " holds the running system's root file system and cannot be tested "
                "while the system runs from it.";
    } else {
        text +=
            "Unmount its file systems, turn off its swap and stop what holds it, then run "
            "the test again.";
    }
    return text + " Nothing was written.";
}

namespace {

using Outcome = SelfTestObserver::Outcome;

Outcome WriteVerify(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                    std::uint64_t lba) {
    if (!FillPattern(buffer, sectors, lba)) return Outcome::Refused;
    if (VC_WriteSectors(device, buffer, sectors, lba) != 1) return Outcome::CommandFailed;
    std::fill_n(buffer.begin(), std::size_t{sectors} * 512, 0);
    if (VC_FlushCache(device) != 1) return Outcome::CommandFailed;
    platform::SleepMs(10);
    if (VC_ReadSectors(device, buffer, sectors, lba) != 1) return Outcome::CommandFailed;
    return MatchesPattern(buffer, sectors, lba) ? Outcome::Passed : Outcome::Mismatch;
}

}  // namespace

bool VA_WriteVerifyRange(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                         std::uint64_t lba) {
    return WriteVerify(device, buffer, sectors, lba) == Outcome::Passed;
}

bool VA_FillRange(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                  std::uint64_t lba) {
    if (!Fits(buffer.size(), sectors)) return false;
    std::fill_n(buffer.begin(), std::size_t{sectors} * 512, 0xFF);
    return VC_WriteSectors(device, buffer, sectors, lba) == 1;
}

bool RunRwSelfTest(unsigned device, std::span<std::uint8_t> buffer, SelfTestObserver* observer) {
    SelfTestObserver local;
    SelfTestObserver& report = observer ? *observer : local;
    auto end = [&report](Outcome outcome, std::uint64_t lba, unsigned sectors) {
        report.outcome = outcome;
        report.lba = lba;
        report.sectors = sectors;
        return outcome == Outcome::Passed;
    };
    const std::string& path = EntryOf(device).DevicePath;
    const platform::DriveLock lock(path);
    // Nothing may mount the disk, swap on it or build on it from here to the end.
    const platform::WriteHold hold(path);
    if (!hold.Held()) {
        report.refusal = InUseRefusal(path, hold.Error(), platform::Current().DescribeUse(path));
        return end(Outcome::InUse, 0, 0);
    }
    ExitLoaderMode(device, buffer);
    const auto gib = static_cast<std::uint32_t>(GetCapacityMB(device) / 1024);
    const auto regions = SelfTestRegions(gib);
    const std::size_t total = regions.size() * kSelfTestRuns.size() + 2;
    std::size_t done = 0;
    auto go_on = [&] { return !report.progress || report.progress(done++, total); };
    for (const std::uint32_t region : regions) {
        const std::uint64_t base = region * kSelfTestRegionSectors;
        for (const SelfTestRun& run : kSelfTestRuns) {
            const std::uint64_t lba = base + run.offset;
            if (!go_on()) return end(Outcome::Interrupted, lba, run.sectors);
            const Outcome outcome = WriteVerify(device, buffer, run.sectors, lba);
            if (outcome != Outcome::Passed) return end(outcome, lba, run.sectors);
        }
    }
    const std::uint64_t sectors = GetCapacitySectors(device);
    // 0 is a capacity that could not be read: its "last sector" would wrap around.
    if (sectors == 0 || sectors == kSelfTestRefusedCapacity) return end(Outcome::Refused, 0, 0);
    if (!go_on()) return end(Outcome::Interrupted, 0, 1);
    if (!VA_FillRange(device, buffer, 1, 0)) return end(Outcome::CommandFailed, 0, 1);
    if (!go_on()) return end(Outcome::Interrupted, sectors - 1, 1);
    const Outcome last = WriteVerify(device, buffer, 1, sectors - 1);
    if (last != Outcome::Passed) return end(last, sectors - 1, 1);
    if (VC_FlushCache(device) != 1) return end(Outcome::CommandFailed, sectors - 1, 0);
    if (report.progress) report.progress(total, total);
    return end(Outcome::Passed, 0, 0);
}

}  // namespace vt
