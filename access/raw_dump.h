#pragma once
// Raw dump files of controller data, written to the working directory only while raw dumps are on.
// A dump is a by-product, never a reason for a read to fail; what the dumps of one operation could
// not write is counted here and said once at its end.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vt {

// How much the dumps of one operation may write. The counts they dump come from the drive's
// answers (channels, CE indexes, pages per block read from controller memory), so a corrupt or
// hostile answer must not fill the disk. A refresh of the largest geometry the tables hold (8
// channels x 8 CE indexes, 256 pages per block of 16 KiB) writes 165 files and 21 MiB on the
// bench, and could reach about 2,200 files and 275 MiB were every page of its later-bad blocks a
// table; the bound leaves room above that.
struct RawDumpBound {
    std::size_t files = 4096;
    std::uint64_t bytes = std::uint64_t{512} << 20;
};

struct RawDumpReport {
    std::size_t files = 0;    // written whole, each name once
    std::uint64_t bytes = 0;  // what they hold now
    std::size_t failed = 0;   // not written; whatever was at the name is kept
    std::string first_error;
    std::size_t skipped = 0;  // not written: past the bound, or after StopRawDumps
    std::string stop_reason;  // why dumps stopped, for the message
};

// Starts the count of one operation (an event of the window, a vtutil command) afresh.
void StartRawDumps(RawDumpBound bound = {});
// No more dumps in this operation: the drive's answers are beyond what any drive has.
void StopRawDumps(const std::string& reason);
const RawDumpReport& RawDumps();
// What a person is told about the dumps since StartRawDumps; empty when each was written whole.
std::vector<std::string> RawDumpProblems();

// Replaces the file in the working directory with the bytes when RawDumpEnabled is set;
// otherwise does nothing. A symbolic link, FIFO or device at the name is refused, and a file
// another user put there is replaced, never written into.
void DumpRawFile(const std::string& name, std::span<const std::uint8_t> data);

}  // namespace vt
