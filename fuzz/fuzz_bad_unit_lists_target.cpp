// The bad-unit lists in their three forms (per channel and CE, the K12 drive list with a mask per
// bank, and with a mask per CE), walked and then turned into the detailed bad block text.

#include <cstdint>
#include <span>

#include "ctrl/table_pages.h"
#include "fuzz/fuzz_drive.h"
#include "pages/bad_block_detail.h"

namespace {

volatile unsigned sink;

// Nothing here reads the marks back, so one map serves every input: a new one is 512 KiB of new
// mapping per input under AddressSanitizer.
vt::BadBlockMarks& Marks() {
    static vt::BadBlockMarks marks;
    return marks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t pick = data[0];
    const std::uint8_t channels = data[1];
    const std::span<const std::uint8_t> list(data + 2, size - 2);

    vt::WalkBadUnitList(list, [](std::uint16_t unit) { sink = unit; });
    for (const auto form : {vt::K12ListForm::PerBank, vt::K12ListForm::PerCe}) {
        vt::WalkK12BadUnitList(list, form, [](const vt::K12BadUnit& u) {
            sink = u.unit + u.type + u.BadOn(u.type & 0x0F, u.unit & 7);
        });
    }

    // Drive 1 of the demo is a K12 with a mask per bank; bit 0 of `pick` swaps it for the form
    // with a mask per CE.
    vt::SystemInfoRecord info = vt::fuzz::DemoInfo(pick >> 1);
    if (pick & 1) info.FwInfo[7] = '1';
    if (channels & 0x80) {
        info.ChannelCount = channels & 0x0F;
        info.BankCount = (channels >> 4) & 0x07;
    }
    vt::BadBlockSources sources;
    sources.unit_list = [&](unsigned, unsigned) { return list; };
    sources.drive_unit_list = [&] { return list; };
    const vt::BadBlockDetail detail = vt::BuildBadBlockDetail(info, sources, pick & 2, &Marks());
    sink = static_cast<unsigned>(detail.text.size()) + detail.totals[0];
    return 0;
}
