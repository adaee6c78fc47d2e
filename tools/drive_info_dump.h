#pragma once
// The drive information dump of the command-line mode: the USB identity and the SSD settings as
// the window shows them, in one text file beside the program.

#include <string>

namespace vt {

// The texts of the window's controls, as the refresh has just set them.
struct DriveInfoTexts {
    // Device Info page, USB group
    std::string VendorName;
    std::string ProductName;
    std::string ManufacturString;
    std::string ProductString;
    std::string Vid;
    std::string Pid;
    std::string SerialNumber;
    // SSD Info page: these carry their own line ends, except Channel, BankMap and Fw
    std::string Flashmodel;
    std::string Channel;
    std::string Capacity;
    std::string Driver;
    std::string ResPer;
    std::string EccRead;
    std::string EccCopy;
    std::string WearLeveling;
    std::string BankMap;
    std::string Support1;
    std::string Support2;
    std::string Fw;
};

// The labelled USB lines, then the SSD texts unchanged with "\r\n" added after Channel and
// BankMap only; the text ends with Fw, without a line end.
std::string DriveInfoDumpText(const DriveInfoTexts& texts);

// The program's directory with its separator, the dump name, ".txt". An empty name gives ".txt".
std::string DriveInfoDumpPath(const std::string& program_dir, const std::string& name);

// Why a dump name is refused (it must name a file in the program's directory, not a path), or
// empty when it is fine.
std::string DumpNameProblem(const std::string& name);

}  // namespace vt
