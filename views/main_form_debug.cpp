// The "Debug Tool" page: the register console and the NAND page reader.

#include <string>
#include <vector>

#include "access/device_tables.h"
#include "platform/backend.h"
#include "tools/debug_console.h"
#include "tools/nand_page_reader.h"
#include "vendor/system_info.h"
#include "vendor/wrappers.h"
#include "views/main_form.h"

namespace vt {
namespace {

constexpr char kEnterKey = 13;
constexpr std::size_t kSectorBytes = 512;
// The loader-level read takes layout 0: the page as the flash holds it.
constexpr std::uint8_t kPlainLayout = 0;

PageReaderBoxes PageBoxes(const Presentation& ui) {
    PageReaderBoxes boxes;
    boxes.channel = ui.Text("DbgChLEdit");
    boxes.bank = ui.Text("DbgBankLEdit");
    boxes.block_unit = ui.Text("DbgBlockUnitLEdit");
    boxes.block = ui.Text("DbgBlockLEdit");
    boxes.page = ui.Text("DbgPageLEdit");
    boxes.ecc24 = ui.Checked("Ecc24Ck");
    return boxes;
}

}  // namespace

void TMainForm::DebugEditKeyPress(char key) {
    if (key != kEnterKey) return;
    std::string command = ui_.Text("DebugEdit");
    ui_.AppendLine("DebugMemo", ">>" + command);
    DebugTool(command);
    ui_.SetText("DebugEdit", "");
}

void TMainForm::DebugTool(std::string& command) {
    const unsigned device = CurrentDevice;
    const platform::DriveLock hold(EntryOf(device).DevicePath);
    DebugConsolePort port;
    port.read_register = [device](std::uint32_t address, std::uint8_t& value) {
        return VA_ReadRegister(device, address, value);
    };
    port.write_register = [device](std::uint32_t address, std::uint8_t value) {
        return VA_WriteRegister(device, address, value);
    };
    // The catalogue has no LBA translation command: the console says so rather than print
    // whatever an earlier read left in the transfer buffer.
    if (const auto text = RunDebugCommand(command, port)) ui_.AppendLine("DebugMemo", *text);
}

void TMainForm::DbgSysReadPageClick() {
    ui_.ClearLines("DebugMemo2");
    const auto boxes = PageBoxes(ui_);
    if (!RequiredBoxesFilled(boxes)) return;
    const auto address = SystemPageAddress(boxes);
    const platform::DriveLock hold(EntryOf(CurrentDevice).DevicePath);

    const unsigned spp = SystemInfo.SectorsPerPage;
    std::vector<std::uint8_t> buffer(kSystemPagesBufferSize, 0);
    // Where the firmware sends nothing the dump shows the cleared buffer's zeros.
    (void)VA_ReadSystemPages(CurrentDevice, address.channel, address.bank, address.block_unit,
                             address.block, address.page, address.ecc_option, kPlainLayout, buffer,
                             spp);
    ui_.SetLines("DebugMemo2", PageDumpLines(buffer, 0, std::size_t{spp} * kSectorBytes));
}

void TMainForm::DbgLDReadPageClick() {
    ui_.ClearLines("DebugMemo2");
    const auto boxes = PageBoxes(ui_);
    if (!RequiredBoxesFilled(boxes)) return;
    const unsigned channels = SystemInfo.ChannelCount;
    const auto address = FlashPageAddress(boxes, channels);
    const platform::DriveLock hold(EntryOf(CurrentDevice).DevicePath);

    const unsigned spp = SystemInfo.SectorsPerPage;
    // Cleared first, like the system-page read's, so a channel that sends nothing shows zeros
    // instead of stale memory.
    std::vector<std::uint8_t> buffer(FlashPageBufferSize(address, channels, spp), 0);
    (void)VA_ReadFlashPage(CurrentDevice, address.channel, address.bank, address.block,
                           address.page, address.ecc_option, kPlainLayout, buffer,
                           static_cast<std::uint8_t>(spp));
    ui_.SetLines("DebugMemo2", PageDumpLines(buffer, FlashPageOffset(address, channels, spp),
                                             std::size_t{spp} * kSectorBytes));
}

}  // namespace vt
