// The reading part of the refresh: everything after the pages were emptied.

#include <filesystem>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "ctrl/device_buffers.h"
#include "ctrl/read_system_info.h"
#include "tools/hex_dump_line.h"
#include "vendor/carrier.h"
#include "vendor/catalogue.h"
#include "vendor/code_loading.h"
#include "vendor/loader_mode.h"
#include "views/main_form.h"
#include "views/refresh_state.h"

namespace vt {
namespace {

constexpr std::size_t kConfigDumpFirst = 0x500;
constexpr std::size_t kConfigDumpLines = 9;

// The table buffers live for one refresh; released on every path, an escaping error included.
class ScopedDeviceBuffers {
  public:
    ScopedDeviceBuffers() { AllocDeviceBuffers(); }
    ~ScopedDeviceBuffers() { FreeDeviceBuffers(); }
    ScopedDeviceBuffers(const ScopedDeviceBuffers&) = delete;
    ScopedDeviceBuffers& operator=(const ScopedDeviceBuffers&) = delete;
};

}  // namespace

void TMainForm::RefreshPages() {
    const unsigned device = CurrentDevice;
    VA_UnlockVendorCmd(device);
    const ScopedDeviceBuffers buffers;
    GdpFilePath = GdpPathIn(environment_.program_dir);

    if (IsLoaderMode(device)) {
        if (!SpecialMode) {
            ui_.ShowMessage("FAIL!!!. The SSD doesn't run on system mode now.");
            return;
        }
        std::error_code error;
        if (std::filesystem::is_regular_file(GdpFilePath, error)) {
            ShowFWDebugMessage(2);
            ui_.SetActivePage("TabSheet8");
        } else {
            ui_.ShowMessage("<WARNING> Can't find file : " + GdpFilePath);
        }
        return;
    }

    if (EntryOf(device).DirectVendorCdb) {
        ParseUSBInfo(device);
    } else {
        ParseInfo(device, TransferBuffer);
    }
    if (!GetSSDInfo(TransferBuffer)) {
        ui_.ShowMessage("Can't find code block.");
        return;
    }
    ShowSSDInfo(device);

    {
        const WaitingWindow waiting(ui_);
        // Before the table reads, so that a raw dump word of the command line covers them.
        PaserCmdLine();
        {
            const ScopedBadBlockMap map;
            ProcessBadBlockInfo(device);
            GetEraseCount(device, TransferBuffer);
        }
        if (VC_ReadMemory(device, 3, 0, TransferBuffer, 8) == 1) {
            ui_.SetLines("DpdFTLMemo",
                         HexDumpLines(TransferBuffer, kConfigDumpFirst, kConfigDumpLines));
            const std::span<const std::uint8_t> memory = TransferBuffer;
            const auto shown =
                memory.subspan(std::min(memory.size(), kConfigDumpFirst),
                               std::min(memory.size() - std::min(memory.size(), kConfigDumpFirst),
                                        kConfigDumpLines * kHexDumpLineBytes));
            models_.config_dump =
                ConfigDumpModel{static_cast<std::uint32_t>(kConfigDumpFirst),
                                std::vector<std::uint8_t>(shown.begin(), shown.end())};
        }
        ui_.SetTabVisible("TabSheet8", false);
        if (RunsFirmwareLogView(SystemInfo)) {
            UseDramLayout = DramLayoutForRevision(SystemInfo);
            ShowFWDebugMessage(1);
        }
    }
    ui_.SetTabVisible("TabSheet9", false);
    ui_.SetActivePage("TabSheet1");
}

}  // namespace vt
