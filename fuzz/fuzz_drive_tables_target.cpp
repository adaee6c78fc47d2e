// Everything a refresh reads from the controller's tables, through the commands: the loader block
// in memory and on the system blocks, the defect, early bad, remap and later-bad pages, the
// bad-unit lists and the erase count tables, of a small drive of each demo model whose regions the
// input overwrites.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "ctrl/device_buffers.h"
#include "ctrl/read_system_info.h"
#include "fuzz/fuzz_drive.h"
#include "pages/bad_block_detail.h"
#include "pages/erase_count.h"
#include "pages/refresh_state.h"
#include "report/erase_count_texts.h"
#include "vendor/system_info.h"

namespace {

volatile std::size_t sink;

// What one input may make the refresh do. A drive may claim any geometry and table length and
// the refresh reads and shows what it claims: 255 channels of 255 CEs are 65,025 tables, a long
// claim a million cells, seconds per input, and every such input the corpus keeps is mutated
// again and again. The limits keep channel and CE index 8 and a table past the 4096 blocks the
// bad block marks hold within reach; an input beyond them is not run.
constexpr std::size_t kMaxTables = 16;       // channels x banks x dies per CE
constexpr std::size_t kMaxPages = 256;       // pages per block: later-bad pages read per unit
constexpr std::size_t kMaxCells = 2 * 4100;  // erase count entries x tables

// The entry count a table of the drive starts with (at byte `at`), as the drive will send it.
std::size_t Claimed(const vt::sim::DriveConfig& config, unsigned table, std::size_t at) {
    const auto it = config.erase_counts.find({0, table});
    if (it == config.erase_counts.end() || it->second.size() < at + 2) return 0;
    return std::size_t{it->second[at]} | std::size_t{it->second[at + 1]} << 8;
}

// Reads the system information as the refresh will and weighs what it then reads and shows.
bool WithinLimits(const vt::sim::DriveConfig& config, std::span<std::uint8_t> buffer) {
    vt::SystemInfo = {};
    vt::ReadSystemInfo(0, buffer);
    const vt::SystemInfoRecord& info = vt::SystemInfo;
    const std::size_t units = std::size_t{info.BankCount} * info.DiesPerCe;
    const std::size_t tables = info.ChannelCount * units;
    if (tables > kMaxTables || units > kMaxTables || info.PagesPerBlock > kMaxPages) return false;
    const unsigned ces = static_cast<std::uint8_t>(units);
    std::size_t entries = 0;
    switch (vt::EraseCountFormOf(vt::ControllerModel(info))) {
        case vt::EraseCountForm::K12:
            entries = Claimed(config, 0, 0);
            break;
        case vt::EraseCountForm::K14:
            for (unsigned t = 0; t < ces; ++t) entries += Claimed(config, t, 0);
            break;
        case vt::EraseCountForm::PerTable:
            entries = Claimed(config, 0, 4);
            break;
    }
    return entries * std::max<std::size_t>(tables, 1) <= kMaxCells;
}

// The work buffer the refresh lends (TransferBuffer there), zeroed before each use: a fresh
// 128 KiB vector per input is a new mapping under AddressSanitizer, page faults included.
std::vector<std::uint8_t>& WorkBuffer() {
    static std::vector<std::uint8_t> buffer(vt::kReadSystemInfoBufferSize);
    std::memset(buffer.data(), 0, buffer.size());
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vt::AllocDeviceBuffers(0);
    (void)vt::fuzz::SmallDrives();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto& drives = vt::fuzz::SmallDrives();
    vt::sim::DriveConfig config =
        drives[input.ConsumeIntegralInRange<std::size_t>(0, drives.size() - 1)];
    vt::fuzz::ApplyEdits(input, config);
    const vt::fuzz::InstalledDrive installed(std::move(config));
    std::vector<std::uint8_t>& buffer = WorkBuffer();
    if (!WithinLimits(installed.Config(), buffer)) return 0;

    // Every input starts from tables that are zero-filled on first use, as a refresh's are.
    vt::AllocDeviceBuffers(0);
    vt::SystemInfo = {};
    std::memset(buffer.data(), 0, buffer.size());
    vt::ScopedBadBlockMap map;
    const vt::BadBlockDetail detail = vt::BuildBadBlockDetail(0, buffer, false, &*vt::BadBlockMap);
    const auto page = vt::ReadEraseCount(0, buffer, vt::SystemInfo, &*vt::BadBlockMap);
    sink = detail.text.size() + (page ? vt::EraseCountLines(*page).size() : 0);
    return 0;
}
