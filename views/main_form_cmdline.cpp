// The command-line mode: the option words of the process command line act on the drive the
// refresh has just read, and the self-test's report.

#include <cstdio>
#include <span>
#include <string>

#include "access/debug_msg.h"
#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "ctrl/rw_self_test.h"
#include "platform/files.h"
#include "tools/command_line_words.h"
#include "tools/drive_info_dump.h"
#include "views/main_form.h"
#include "views/refresh_state.h"

namespace vt {
namespace {

constexpr const char* kRwPassedFile = "RW_OK";
constexpr const char* kRwFailedFile = "RW_Fail";

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

void TMainForm::PaserCmdLine() {
    const auto& line = environment_.command_line;
    const auto words = FindCommandLineWords(line);
    // Each word acts on its own, in this order; a close request takes effect only once the
    // refresh has finished, so the words after it still run.
    if (words.rwtest) {
        RwTestBnClick();
        ui_.RequestClose();
    }
    if (words.dumpssdinfo) {
        std::string error;
        // Nothing is shown: the window closes after the dump whatever happened.
        if (!DumpSSDInfo(CommandLineArgument(line, 2), error)) {
            DebugMsg("FAILED(DumpSSDInfo) %s\r\n", error.c_str());
        }
        ui_.RequestClose();
    }
    if (words.dumpssdraw) RawDumpEnabled = true;
}

void TMainForm::RwTestBnClick() {
    SelfTestObserver observer;
    const bool passed = RunRwSelfTest(CurrentDevice, TransferBuffer, &observer);
    if (observer.outcome == SelfTestObserver::Outcome::InUse) {
        // The test did not run: no result, and no earlier run's file left to be read as one.
        for (const char* name : {kRwPassedFile, kRwFailedFile})
            std::remove(DriveInfoDumpPath(environment_.program_dir, name).c_str());
        DebugMsg("FAILED(RwTestBnClick) %s\r\n", observer.refusal.c_str());
        ui_.ShowError(observer.refusal);
        return;
    }
    if (!environment_.rw_result_files) {
        ui_.ShowMessage(passed ? "R/W Test successfully" : "R/W Test Fail");
        return;
    }
    // Unattended: the result is the name of an empty file. The other name goes, so that an
    // earlier run's file cannot be read as this run's result.
    const auto result =
        DriveInfoDumpPath(environment_.program_dir, passed ? kRwPassedFile : kRwFailedFile);
    const auto stale =
        DriveInfoDumpPath(environment_.program_dir, passed ? kRwFailedFile : kRwPassedFile);
    std::remove(stale.c_str());
    std::string error;
    if (!platform::ReplaceFile(result, {}, error)) {
        DebugMsg("FAILED(RwTestBnClick) %s\r\n", error.c_str());
        ui_.ShowMessage((passed ? "R/W Test successfully" : "R/W Test Fail") +
                        std::string(", but the result file could not be written: ") + result);
    }
}

bool TMainForm::DumpSSDInfo(const std::string& name, std::string& error) {
    error = DumpNameProblem(name);
    if (!error.empty()) return false;
    DriveInfoTexts texts;
    texts.VendorName = ui_.Text("VendorNameEdit");
    texts.ProductName = ui_.Text("ProductNameEdit");
    texts.ManufacturString = ui_.Text("ManufacturStringEdit");
    texts.ProductString = ui_.Text("ProductStringEdit");
    texts.Vid = ui_.Text("VIDEdit");
    texts.Pid = ui_.Text("PIDEdit");
    texts.SerialNumber = ui_.Text("SNUSBEdit");
    texts.Flashmodel = ui_.Text("FlashmodelEdit");
    texts.Channel = ui_.Text("ChannelEdit");
    texts.Capacity = ui_.Text("CapacityEdit");
    texts.Driver = ui_.Text("DriverEdit");
    texts.ResPer = ui_.Text("ResPerEdit");
    texts.EccRead = ui_.Text("EccReadEdit");
    texts.EccCopy = ui_.Text("EccCopyEdit");
    texts.WearLeveling = ui_.Text("WearLevelingEdit");
    texts.BankMap = ui_.Text("BankMapEdit");
    texts.Support1 = ui_.Text("SupportEdit1");
    texts.Support2 = ui_.Text("SupportEdit2");
    texts.Fw = ui_.Text("FwEdit");

    const auto path = DriveInfoDumpPath(environment_.program_dir, name);
    return platform::ReplaceFile(path, Bytes(DriveInfoDumpText(texts)), error);
}

}  // namespace vt
