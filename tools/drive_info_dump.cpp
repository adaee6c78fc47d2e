#include "tools/drive_info_dump.h"

namespace vt {

std::string DriveInfoDumpText(const DriveInfoTexts& t) {
    std::string out;
    const auto labelled = [&out](const char* label, const std::string& text) {
        out += label;
        out += text;
        out += "\r\n";
    };
    labelled("Vendor Name:", t.VendorName);
    labelled("Product Name:", t.ProductName);
    labelled("Manufacture String:", t.ManufacturString);
    labelled("Product String:", t.ProductString);
    labelled("VID:", t.Vid);
    labelled("PID:", t.Pid);
    labelled("Serial Num:", t.SerialNumber);
    out += t.Flashmodel;
    out += t.Channel;
    out += "\r\n";
    for (const auto* text :
         {&t.Capacity, &t.Driver, &t.ResPer, &t.EccRead, &t.EccCopy, &t.WearLeveling}) {
        out += *text;
    }
    out += t.BankMap;
    out += "\r\n";
    out += t.Support1;
    out += t.Support2;
    out += t.Fw;
    return out;
}

std::string DriveInfoDumpPath(const std::string& program_dir, const std::string& name) {
    std::string path = program_dir.empty() ? std::string(".") : program_dir;
    if (path.back() != '/') path.push_back('/');
    return path + name + ".txt";
}

std::string DumpNameProblem(const std::string& name) {
    if (name.find('/') != std::string::npos || name == "." || name == "..") {
        return "the dump name \"" + name + "\" is not a file name (no \"/\", not \".\" or \"..\")";
    }
    return {};
}

}  // namespace vt
