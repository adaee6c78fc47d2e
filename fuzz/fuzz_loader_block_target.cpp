// The loader block: the memory copy (the first 4 KiB of the input) and a flash copy (the rest)
// decoded into the system information and the device's entry, then the geometry read from it.

#include <cstdint>
#include <span>

#include "access/device_tables.h"
#include "ctrl/block_units.h"
#include "ctrl/read_system_info.h"
#include "ctrl/table_pages.h"
#include "fuzz/fuzz_drive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const auto memory = vt::fuzz::Front(input, vt::kLoaderBlockSize);
    const auto flash = input.subspan(memory.size());

    vt::SystemInfoRecord info;
    vt::DeviceEntry entry;
    vt::TakeMemoryCopy(memory, info, entry);
    if (vt::StartsWithLoaderSignature(flash, info)) vt::TakeFlashCopy(flash, info);
    vt::TakeFlashCopy(memory, info);
    volatile char sink = vt::ControllerModel(info).back();
    (void)sink;
    const std::size_t page = vt::PageSizeOf(info);
    (void)vt::ChannelPage(input, info.ChannelCount, page);
    for (const std::uint16_t block : entry.SysBlock) {
        (void)vt::UnitToBlock(vt::BlockToUnit(block, info), info);
    }
    return 0;
}
