#include "access/ata_passthrough.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "access/debug_msg.h"
#include "access/request_outcome.h"
#include "platform/backend.h"

namespace vt {
namespace {

using platform::Direction;

int RunAtaCommand(const std::string& path, TaskFile& task_file, std::span<std::uint8_t> data,
                  int length, int timeout_seconds, Direction direction, const char* failure_line,
                  std::string* description) {
    platform::DeviceHandle device(path);
    if (!device.IsOpen()) {
        if (description)
            *description = std::string("cannot open: ") + std::strerror(device.Error());
        return 0;
    }
    if (length < 0 || length > kMaxAtaTransfer || static_cast<std::size_t>(length) > data.size()) {
        return -1;
    }
    if (length == 0) direction = Direction::None;
    std::array<std::uint8_t, kSenseLength> sense{};
    platform::AtaRequest request;
    request.task_file = task_file;
    request.direction = direction;
    request.dma = IsDmaCommand(task_file[platform::kTaskCommand], direction);
    request.data = data.first(static_cast<std::size_t>(length));
    request.sense = sense;
    request.timeout_ms = TimeoutMs(timeout_seconds);
    const auto outcome = OutcomeOf(device.AtaPassThrough(request), request);
    if (description) *description = DescribeOutcome(outcome);
    // A refused pass-through never ran the command: a failed request, not an ATA error.
    if (outcome.sys_error != 0 || outcome.TransportFailed() || outcome.refused) {
        DebugMsg("%s", failure_line);
        return -1;
    }
    task_file = request.registers;
    return (task_file[platform::kTaskCommand] & platform::kAtaStatusErr) ? 0 : 1;
}

}  // namespace

bool IsDmaCommand(std::uint8_t command, Direction direction) {
    // The DMA carrier opcodes, and READ DMA / WRITE DMA themselves: a DMA command sent with a PIO
    // protocol never completes on a real drive.
    if (direction == Direction::In) return command == kDmaReadOpcode || command == 0xC8;
    if (direction == Direction::Out) return command == kDmaWriteOpcode || command == 0xCA;
    return false;
}

int ReadATACommandWithTimeOutValue(const std::string& path, TaskFile& task_file,
                                   std::span<std::uint8_t> data, int length, int timeout_seconds,
                                   std::string* outcome) {
    return RunAtaCommand(path, task_file, data, length, timeout_seconds, Direction::In,
                         "ReadATACommandWithTimeOutValue() fail\r\n", outcome);
}

int WriteATACommandWithTimeOutValue(const std::string& path, TaskFile& task_file,
                                    std::span<const std::uint8_t> data, int length,
                                    int timeout_seconds, std::string* outcome) {
    // A request's data span is mutable even for data out; the copy keeps the caller's buffer const.
    std::vector<std::uint8_t> copy(data.begin(), data.end());
    return RunAtaCommand(path, task_file, copy, length, timeout_seconds, Direction::Out,
                         "WriteATACommandWithTimeOutValue() fail\r\n", outcome);
}

TaskFile TaskFileFromBlock(std::span<const std::uint8_t, 12> block) {
    return {block[3], block[4], block[5], block[6], block[7], block[8], block[9], 0};
}

int SendAtaCommand(const std::string& path, bool data_in, std::span<const std::uint8_t> block,
                   std::span<std::uint8_t> data, int length, int timeout_seconds) {
    if (path.empty() || block.size() < 12) return -1;
    TaskFile task_file = TaskFileFromBlock(block.first<12>());
    const auto start = static_cast<std::uint32_t>(platform::NowMs());
    const int result =
        data_in ? ReadATACommandWithTimeOutValue(path, task_file, data, length, timeout_seconds)
                : WriteATACommandWithTimeOutValue(path, task_file, data, length, timeout_seconds);
    const std::uint32_t elapsed_ms = static_cast<std::uint32_t>(platform::NowMs()) - start;
    const int elapsed_s = static_cast<int>(elapsed_ms / 1000);
    if (elapsed_s > timeout_seconds) {
        DebugMsg("Timeout = %d sec\r\n", elapsed_s);
        return 0;
    }
    return result == 0 ? -2 : result;
}

}  // namespace vt
