#include "access/ata_passthrough.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "access/debug_msg.h"
#include "access/request_outcome.h"
#include "platform/backend.h"
#include "platform/sat_passthrough.h"

namespace vt {
namespace {

using platform::Direction;

constexpr std::uint8_t kAtaPassThrough16 = 0x85;

constexpr const char* kReadFailure = "ReadATACommandWithTimeOutValue() fail\r\n";
constexpr const char* kWriteFailure = "WriteATACommandWithTimeOutValue() fail\r\n";

// `previous`: the high-order registers of a 48-bit command; none for a 28-bit one.
int RunAtaCommand(const std::string& path, TaskFile& task_file, std::span<std::uint8_t> data,
                  int length, int timeout_seconds, Direction direction, const char* failure_line,
                  std::string* description,
                  const std::optional<platform::PreviousTaskFile>& previous = std::nullopt) {
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
    if (previous) {
        request.extended = true;
        request.previous = *previous;
    }
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
    if (direction == Direction::In)
        return command == kDmaReadOpcode || command == 0xC8 || command == 0x25;
    if (direction == Direction::Out)
        return command == kDmaWriteOpcode || command == 0xCA || command == 0x35;
    return false;
}

int ReadATACommandWithTimeOutValue(const std::string& path, TaskFile& task_file,
                                   std::span<std::uint8_t> data, int length, int timeout_seconds,
                                   std::string* outcome) {
    return RunAtaCommand(path, task_file, data, length, timeout_seconds, Direction::In,
                         kReadFailure, outcome);
}

int WriteATACommandWithTimeOutValue(const std::string& path, TaskFile& task_file,
                                    std::span<const std::uint8_t> data, int length,
                                    int timeout_seconds, std::string* outcome) {
    // A request's data span is mutable even for data out; the copy keeps the caller's buffer const.
    std::vector<std::uint8_t> copy(data.begin(), data.end());
    return RunAtaCommand(path, task_file, copy, length, timeout_seconds, Direction::Out,
                         kWriteFailure, outcome);
}

TaskFile TaskFileFromBlock(std::span<const std::uint8_t, 12> block) {
    return {block[3], block[4], block[5], block[6], block[7], block[8], block[9], 0};
}

AtaBlock48 BuildAtaPassThrough16Ext(std::uint8_t command, std::uint64_t lba, std::uint16_t sectors,
                                    Direction direction) {
    platform::AtaRequest request;
    request.task_file = {0,
                         static_cast<std::uint8_t>(sectors),
                         static_cast<std::uint8_t>(lba),
                         static_cast<std::uint8_t>(lba >> 8),
                         static_cast<std::uint8_t>(lba >> 16),
                         0x40,  // LBA addressing; the LBA itself is all in the LBA registers
                         command,
                         0};
    request.extended = true;
    request.previous = {0, static_cast<std::uint8_t>(sectors >> 8),
                        static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba >> 32),
                        static_cast<std::uint8_t>(lba >> 40)};
    request.direction = direction;
    request.dma = IsDmaCommand(command, direction);
    return platform::SatCdb(request);
}

int SendAtaCommand(const std::string& path, bool data_in, std::span<const std::uint8_t> block,
                   std::span<std::uint8_t> data, int length, int timeout_seconds) {
    if (path.empty() || block.size() < 12) return -1;
    const bool whole = block.size() == 16 && block[0] == kAtaPassThrough16;
    TaskFile task_file = whole ? TaskFile{block[4],  block[6],  block[8],  block[10],
                                          block[12], block[13], block[14], 0}
                               : TaskFileFromBlock(block.first<12>());
    std::optional<platform::PreviousTaskFile> previous;
    if (whole && (block[1] & 0x01)) previous = {block[3], block[5], block[7], block[9], block[11]};
    const auto start = static_cast<std::uint32_t>(platform::NowMs());
    int result = 0;
    if (data_in) {
        result = RunAtaCommand(path, task_file, data, length, timeout_seconds, Direction::In,
                               kReadFailure, nullptr, previous);
    } else {
        // A request's data span is mutable even for data out; the copy keeps the caller's const.
        std::vector<std::uint8_t> copy(data.begin(), data.end());
        result = RunAtaCommand(path, task_file, copy, length, timeout_seconds, Direction::Out,
                               kWriteFailure, nullptr, previous);
    }
    const std::uint32_t elapsed_ms = static_cast<std::uint32_t>(platform::NowMs()) - start;
    const int elapsed_s = static_cast<int>(elapsed_ms / 1000);
    if (elapsed_s > timeout_seconds) {
        DebugMsg("Timeout = %d sec\r\n", elapsed_s);
        return 0;
    }
    return result == 0 ? -2 : result;
}

}  // namespace vt
