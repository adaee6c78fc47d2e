// Everything a refresh reads from the controller's tables, through the commands: the loader block
// in memory and on the system blocks, the defect, early bad, remap and later-bad pages, the
// bad-unit lists and the erase count tables, of a small drive of each demo model whose regions the
// input overwrites.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ctrl/device_buffers.h"
#include "ctrl/read_system_info.h"
#include "fuzz/fuzz_drive.h"
#include "vendor/system_info.h"
#include "views/bad_block_detail.h"
#include "views/erase_count_view.h"
#include "views/refresh_state.h"

namespace {

volatile std::size_t sink;

// The work buffer the refresh lends (TransferBuffer there), zeroed for every input: a fresh
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

    vt::DeviceBuffers& tables = vt::BuffersOf(0);
    for (auto* table :
         {&tables.DefectTable, &tables.EarlyTable, &tables.RemapTable, &tables.LaterBadTable}) {
        // One call, not a loop the sanitizers check byte by byte: the later-bad slots are 2 MiB.
        std::memset(table->data(), 0, table->size());
    }
    vt::SystemInfo = {};
    std::vector<std::uint8_t>& buffer = WorkBuffer();
    vt::ScopedBadBlockMap map;
    const vt::BadBlockDetail detail = vt::BuildBadBlockDetail(0, buffer, &*vt::BadBlockMap);
    const vt::EraseCountPage page = vt::GetEraseCount(0, buffer, vt::SystemInfo, &*vt::BadBlockMap);
    sink = detail.text.size() + page.lines.size();
    return 0;
}
