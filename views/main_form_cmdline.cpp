// The command-line mode: the option words of the process command line act on the drive the
// refresh has just read, and the self-test's report.

#include <cstdio>
#include <span>
#include <string>

#include "access/debug_msg.h"
#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "ctrl/rw_self_test.h"
#include "pages/refresh_state.h"
#include "platform/files.h"
#include "report/drive_info_dump.h"
#include "tools/command_line_words.h"
#include "tools/drive_info_dump.h"
#include "views/main_form.h"

namespace vt {
namespace {

constexpr const char* kRwPassedFile = "RW_OK";
constexpr const char* kRwFailedFile = "RW_Fail";

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
        // Nothing is shown: the window closes after the dump whatever happened.
        if (const auto problem = DumpSSDInfo(CommandLineArgument(line, 2)); !problem.empty())
            DebugMsg("FAILED(DumpSSDInfo) %s\r\n", problem.c_str());
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

std::string TMainForm::DumpSSDInfo(const std::string& name) {
    return WriteDriveInfoDump(environment_.program_dir, name, models_);
}

}  // namespace vt
