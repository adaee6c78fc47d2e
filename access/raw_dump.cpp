#include "access/raw_dump.h"

#include <map>
#include <set>

#include "access/mode_flags.h"
#include "platform/files.h"

namespace vt {
namespace {

RawDumpBound bound;
RawDumpReport report;
bool stopped = false;
// Bytes on disk by file name: a table dumped again under its name replaces, not adds.
std::map<std::string, std::size_t> written;
std::set<std::string> unwritten;  // names whose last write failed

}  // namespace

void StartRawDumps(RawDumpBound limit) {
    bound = limit;
    report = {};
    stopped = false;
    written.clear();
    unwritten.clear();
}

void StopRawDumps(const std::string& reason) {
    if (stopped) return;
    stopped = true;
    report.stop_reason = reason;
}

const RawDumpReport& RawDumps() {
    return report;
}

std::vector<std::string> RawDumpProblems() {
    std::vector<std::string> lines;
    if (report.failed > 0) {
        lines.push_back(
            std::to_string(report.failed) +
            " raw dump files could not be written (what was there is kept): " + report.first_error);
    }
    if (report.skipped > 0) {
        lines.push_back("Raw dumps stopped: " + report.stop_reason + "; " +
                        std::to_string(report.skipped) + " more dumps were not written (" +
                        std::to_string(report.files) + " written, " + std::to_string(report.bytes) +
                        " bytes)");
    }
    return lines;
}

void DumpRawFile(const std::string& name, std::span<const std::uint8_t> data) {
    if (!RawDumpEnabled) return;
    const auto before = written.find(name);
    const bool new_name = before == written.end();
    const std::uint64_t bytes = report.bytes - (new_name ? 0 : before->second) + data.size();
    if (!stopped && ((new_name && report.files >= bound.files) || bytes > bound.bytes)) {
        StopRawDumps("the drive's answers ask for more than the " + std::to_string(bound.files) +
                     " files and " + std::to_string(bound.bytes >> 20) +
                     " MiB a drive of the largest geometry could need");
    }
    if (stopped) {
        ++report.skipped;
        return;
    }
    std::string error;
    if (platform::ReplaceFile(name, data, error)) {
        written[name] = data.size();
        unwritten.erase(name);
        report.bytes = bytes;
    } else {
        if (report.first_error.empty()) report.first_error = error;
        unwritten.insert(name);
    }
    report.files = written.size();
    report.failed = unwritten.size();
}

}  // namespace vt
