#include "access/scsi_passthrough.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "access/debug_msg.h"
#include "access/request_outcome.h"
#include "platform/backend.h"
#include "platform/error_codes.h"

namespace vt {
namespace {

// The code written to the debug file for a failed request: the ioctl's errno, or the errno that
// best names how the kernel or the device ended it.
using platform::Direction;

int FailureCode(const CommandOutcome& outcome) {
    if (outcome.sys_error != 0) return outcome.sys_error;
    if (outcome.TimedOut()) return ETIMEDOUT;
    if (outcome.TransportFailed()) return EIO;
    return platform::kRemoteIo;
}

bool IsAtaPassThroughCdb(std::span<const std::uint8_t> block) {
    return !block.empty() && (block[0] == 0xA1 || block[0] == 0x85);
}

int RunScsiCommand(const std::string& path, std::span<const std::uint8_t> block,
                   std::span<std::uint8_t> buffer, Direction direction, int& transferred,
                   int timeout_seconds, const char* open_line, const char* error_line) {
    platform::DeviceHandle device(path);
    if (!device.IsOpen()) {
        DebugMsg(open_line, path.c_str());
        return 0;
    }
    const auto outcome = SendScsiRequest(device, block, direction, buffer, timeout_seconds);
    const int moved = static_cast<int>(buffer.size()) - static_cast<int>(outcome.ended.residue);
    transferred = std::clamp(moved, 0, static_cast<int>(buffer.size()));
    if (CommandSucceeded(outcome, IsAtaPassThroughCdb(block))) return 1;
    DebugMsg(error_line, FailureCode(outcome));
    return 0;
}

}  // namespace

int ReadSCSICommandWithTimeOutValue(const std::string& path, std::span<const std::uint8_t> block,
                                    std::span<std::uint8_t> data, int length, int& transferred,
                                    int timeout_seconds) {
    if (length < 0 || static_cast<std::size_t>(length) > data.size()) return 0;
    // Some bridges refuse a one-byte transfer: two are read and the first is handed on.
    std::array<std::uint8_t, 2> pair{};
    const bool one_byte = length == 1;
    std::span<std::uint8_t> buffer =
        one_byte ? std::span<std::uint8_t>(pair) : data.first(static_cast<std::size_t>(length));
    const int result = RunScsiCommand(
        path, block, buffer, length == 0 ? Direction::None : Direction::In, transferred,
        timeout_seconds, "ReadSCSICommandWithTimeOutValue(INVALID_HANDLE_VALUE) = %s\r\n",
        "LastError(ReadSCSICommandWithTimeOutValue)[1] = %d\r\n");
    if (one_byte) data[0] = pair[0];
    return result;
}

int WriteSCSICommandWithTimeOutValue(const std::string& path, std::span<const std::uint8_t> block,
                                     std::span<const std::uint8_t> data, int length,
                                     int& transferred, int timeout_seconds) {
    if (length < 0 || static_cast<std::size_t>(length) > data.size()) return 0;
    std::vector<std::uint8_t> copy(data.begin(), data.begin() + length);
    if (length == 1) copy.push_back(0);  // a one-byte write goes out as the byte and a zero
    return RunScsiCommand(path, block, copy, length == 0 ? Direction::None : Direction::Out,
                          transferred, timeout_seconds,
                          "WriteSCSICommandWithTimeOutValue(INVALID_HANDLE_VALUE) = %s\r\n",
                          "LastError(WriteSCSICommandWithTimeOutValue)[1] = %d\r\n");
}

}  // namespace vt
