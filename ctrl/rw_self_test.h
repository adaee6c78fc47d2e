#pragma once
// The drive's read/write self-test: address-derived patterns written to a fixed set of sector runs
// spread over the capacity, read back and compared word by word.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/backend.h"

namespace vt {

struct SelfTestRun {
    unsigned sectors;
    std::uint32_t offset;  // from the region's base LBA
};

inline constexpr std::array<SelfTestRun, 20> kSelfTestRuns{{
    {128, 0},   {128, 0},     {128, 128},   {128, 128}, {128, 256},   {128, 256},   {1, 150},
    {1, 150},   {1, 180000},  {5, 100033},  {4, 80058}, {26, 5000},   {5, 100033},  {1, 180000},
    {26, 5000}, {126, 15000}, {33, 154900}, {4, 80058}, {126, 15000}, {33, 154900},
}};

inline constexpr std::uint64_t kSelfTestRegionSectors = 2097152;  // 1 GiB
inline constexpr unsigned kSelfTestMaxSectors = 128;
// A drive reporting exactly this many sectors is refused.
inline constexpr std::uint64_t kSelfTestRefusedCapacity = 8192;

// Word i of a run at LBA a is (a x 256 + i) mod 65536, little-endian: only the low byte of the LBA
// enters the pattern. Fills or checks sectors x 512 bytes; false when the buffer is shorter.
bool FillPattern(std::span<std::uint8_t> buffer, unsigned sectors, std::uint64_t lba);
bool MatchesPattern(std::span<const std::uint8_t> buffer, unsigned sectors, std::uint64_t lba);

// The 1 GiB regions tested on a drive of `gib` whole GiB: every k-th, k = gib / 16 + 1.
std::vector<std::uint32_t> SelfTestRegions(std::uint32_t gib);

// One write-flush-read-compare run; a run longer than the buffer (or than 128 sectors) fails.
bool VA_WriteVerifyRange(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                         std::uint64_t lba);
// Writes sectors whose every word is FFFFh.
bool VA_FillRange(unsigned device, std::span<std::uint8_t> buffer, unsigned sectors,
                  std::uint64_t lba);

// What uses a disk, one line each: "/dev/sda1 is mounted on /home", "/dev/sda2 is an active swap
// area", "/dev/sda3 is held by md127".
std::vector<std::string> DiskUseLines(const platform::DiskUse& use);
// Why the self-test does not write to a disk: it names the disk and what holds it. `error` is the
// errno of the refused hold (EBUSY: in use).
std::string InUseRefusal(const std::string& path, int error, const platform::DiskUse& use);

// How a self-test went, for callers that report more than pass or fail (the headless front end).
struct SelfTestObserver {
    // InUse: refused before anything was sent, `refusal` says why.
    enum class Outcome { Passed, CommandFailed, Mismatch, Interrupted, Refused, InUse };
    // Called before every run with the runs done and the runs in all (the regions' runs, then
    // the first and last sector); false stops the test there.
    std::function<bool(std::size_t done, std::size_t total)> progress;
    Outcome outcome = Outcome::Passed;
    std::uint64_t lba = 0;  // where it ended, when it did not pass
    unsigned sectors = 0;
    std::string refusal;
};

// DESTRUCTIVE: overwrites the user data of every sector it touches (about 16 regions of runs, the
// first and the last sector), by design. Only on a disk nothing uses: it holds the disk for writing
// (platform::WriteHold) before anything is sent and until it ends, and a disk in use is refused
// (Outcome::InUse). Brings a drive out of its loader first. True when every step passed; ends at
// the first failure. The buffer is the 128 KiB work buffer.
bool RunRwSelfTest(unsigned device, std::span<std::uint8_t> buffer,
                   SelfTestObserver* observer = nullptr);

}  // namespace vt
