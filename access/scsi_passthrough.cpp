#include "access/scsi_passthrough.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "access/debug_msg.h"
#include "access/sg_request.h"
#include "platform/backend.h"

namespace vt {
namespace {

// The code written to the debug file for a failed request: the ioctl's errno, or the errno that
// best names how the kernel or the device ended it.
int FailureCode(const SgOutcome& outcome) {
    if (outcome.sys_error != 0) return outcome.sys_error;
    if (outcome.timed_out) return ETIMEDOUT;
    if (outcome.transport_failed) return EIO;
    return EREMOTEIO;
}

bool IsAtaPassThroughCdb(std::span<const std::uint8_t> block) {
    return !block.empty() && (block[0] == 0xA1 || block[0] == 0x85);
}

int RunScsiCommand(const std::string& path, std::span<const std::uint8_t> block,
                   std::span<std::uint8_t> buffer, DataDirection direction, int& transferred,
                   int timeout_seconds, const char* open_line, const char* error_line) {
    platform::DeviceHandle device(path);
    if (!device.IsOpen()) {
        DebugMsg(open_line, path.c_str());
        return 0;
    }
    const auto outcome = SendSgRequest(device, block.first(std::min<std::size_t>(block.size(), 16)),
                                       direction, buffer,
                                       static_cast<unsigned>(std::max(timeout_seconds, 0)));
    const int moved = static_cast<int>(buffer.size()) - outcome.residual;
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
    const int result =
        RunScsiCommand(path, block, buffer, length == 0 ? DataDirection::None : DataDirection::In,
                       transferred, timeout_seconds,
                       "ReadSCSICommandWithTimeOutValue(INVALID_HANDLE_VALUE) = %s\r\n",
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
    return RunScsiCommand(path, block, copy, length == 0 ? DataDirection::None : DataDirection::Out,
                          transferred, timeout_seconds,
                          "WriteSCSICommandWithTimeOutValue(INVALID_HANDLE_VALUE) = %s\r\n",
                          "LastError(WriteSCSICommandWithTimeOutValue)[1] = %d\r\n");
}

}  // namespace vt
