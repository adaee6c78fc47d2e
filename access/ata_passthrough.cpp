#include "access/ata_passthrough.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "access/debug_msg.h"
#include "platform/backend.h"

namespace vt {
namespace {

constexpr std::uint8_t kAtaPassThrough16 = 0x85;
constexpr std::uint8_t kStatusErr = 0x01;
constexpr std::uint8_t kErrorAbrt = 0x04;
constexpr std::uint8_t kStatusReadyNoError = 0x50;  // DRDY | DSC
constexpr const char* kReadFailure = "ReadATACommandWithTimeOutValue() fail\r\n";
constexpr const char* kWriteFailure = "WriteATACommandWithTimeOutValue() fail\r\n";

// The register file after a command, from the sense data. A translation layer that ignores CK_COND
// returns none: GOOD (or a benign sense key) then reads as DRDY with no error, and a rejection as
// an aborted command.
void StoreRegisters(const SgOutcome& outcome, TaskFile& task_file) {
    if (const auto regs = AtaStatusReturn(outcome.Sense())) {
        task_file[0] = regs->error;
        task_file[1] = regs->count;
        if (regs->lba_low) task_file[2] = *regs->lba_low;
        if (regs->lba_mid) task_file[3] = *regs->lba_mid;
        if (regs->lba_high) task_file[4] = *regs->lba_high;
        task_file[5] = regs->device;
        task_file[6] = regs->status;
        return;
    }
    const bool ok = CommandSucceeded(outcome, true);
    task_file[0] = ok ? 0 : kErrorAbrt;
    task_file[6] = ok ? kStatusReadyNoError : (kStatusReadyNoError | kStatusErr);
}

// A device that refuses ATA PASS-THROUGH itself (ILLEGAL REQUEST, no register file) did not run the
// command at all: that is a failed request, not an ATA error.
bool PassThroughRefused(const SgOutcome& outcome) {
    if (!outcome.CheckCondition() || AtaStatusReturn(outcome.Sense())) return false;
    const auto sense = DecodeSense(outcome.Sense());
    return sense && sense->key == kSenseIllegalRequest;
}

// `cdb`: the whole block of a 48-bit command; empty for one built from the task file.
int RunAtaCommand(const std::string& path, TaskFile& task_file, std::span<std::uint8_t> data,
                  int length, int timeout_seconds, DataDirection direction,
                  const char* failure_line, std::string* description,
                  std::span<const std::uint8_t> cdb = {}) {
    platform::DeviceHandle device(path);
    if (!device.IsOpen()) {
        if (description)
            *description = std::string("cannot open: ") + std::strerror(device.Error());
        return 0;
    }
    if (length < 0 || length > kMaxAtaTransfer || static_cast<std::size_t>(length) > data.size()) {
        return -1;
    }
    if (length == 0) direction = DataDirection::None;
    const auto built = BuildAtaPassThrough16(task_file, direction);
    const auto outcome =
        SendSgRequest(device, cdb.empty() ? std::span<const std::uint8_t>(built) : cdb, direction,
                      data.first(static_cast<std::size_t>(length)),
                      static_cast<unsigned>(std::max(timeout_seconds, 0)));
    if (description) *description = DescribeOutcome(outcome);
    if (outcome.sys_error != 0 || outcome.transport_failed || PassThroughRefused(outcome)) {
        DebugMsg("%s", failure_line);
        return -1;
    }
    StoreRegisters(outcome, task_file);
    return (task_file[6] & kStatusErr) ? 0 : 1;
}

}  // namespace

bool IsDmaCommand(std::uint8_t command, DataDirection direction) {
    // The DMA carrier opcodes, and READ DMA / WRITE DMA themselves: a DMA command sent with a PIO
    // protocol never completes on a real drive.
    if (direction == DataDirection::In)
        return command == kDmaReadOpcode || command == 0xC8 || command == 0x25;
    if (direction == DataDirection::Out)
        return command == kDmaWriteOpcode || command == 0xCA || command == 0x35;
    return false;
}

std::array<std::uint8_t, 16> BuildAtaPassThrough16Ext(std::uint8_t command, std::uint64_t lba,
                                                      std::uint16_t sectors,
                                                      DataDirection direction) {
    const TaskFile low{0,
                       static_cast<std::uint8_t>(sectors),
                       static_cast<std::uint8_t>(lba),
                       static_cast<std::uint8_t>(lba >> 8),
                       static_cast<std::uint8_t>(lba >> 16),
                       0x40,  // LBA addressing; the LBA itself is all in the LBA registers
                       command,
                       0};
    auto cdb = BuildAtaPassThrough16(low, direction);
    cdb[1] |= 0x01;  // EXTEND
    cdb[5] = static_cast<std::uint8_t>(sectors >> 8);
    cdb[7] = static_cast<std::uint8_t>(lba >> 24);
    cdb[9] = static_cast<std::uint8_t>(lba >> 32);
    cdb[11] = static_cast<std::uint8_t>(lba >> 40);
    return cdb;
}

std::array<std::uint8_t, 16> BuildAtaPassThrough16(const TaskFile& task_file,
                                                   DataDirection direction) {
    constexpr std::uint8_t kNonData = 3, kPioIn = 4, kPioOut = 5, kDma = 6;
    constexpr std::uint8_t kCkCond = 0x20, kDirIn = 0x08, kBlocks = 0x04, kLengthInCount = 0x02;
    const std::uint8_t command = task_file[6];
    std::uint8_t protocol = kNonData;
    std::uint8_t flags = kCkCond;
    if (direction == DataDirection::In) {
        protocol = IsDmaCommand(command, direction) ? kDma : kPioIn;
        flags |= kDirIn | kBlocks | kLengthInCount;
    } else if (direction == DataDirection::Out) {
        protocol = IsDmaCommand(command, direction) ? kDma : kPioOut;
        flags |= kBlocks | kLengthInCount;
    }
    std::array<std::uint8_t, 16> cdb{};
    cdb[0] = kAtaPassThrough16;
    cdb[1] = static_cast<std::uint8_t>(protocol << 1);
    cdb[2] = flags;
    cdb[4] = task_file[0];   // FEATURES
    cdb[6] = task_file[1];   // SECTOR COUNT
    cdb[8] = task_file[2];   // LBA LOW
    cdb[10] = task_file[3];  // LBA MID
    cdb[12] = task_file[4];  // LBA HIGH
    cdb[13] = task_file[5];  // DEVICE
    cdb[14] = command;
    return cdb;
}

int ReadATACommandWithTimeOutValue(const std::string& path, TaskFile& task_file,
                                   std::span<std::uint8_t> data, int length, int timeout_seconds,
                                   std::string* outcome) {
    return RunAtaCommand(path, task_file, data, length, timeout_seconds, DataDirection::In,
                         kReadFailure, outcome);
}

int WriteATACommandWithTimeOutValue(const std::string& path, TaskFile& task_file,
                                    std::span<const std::uint8_t> data, int length,
                                    int timeout_seconds, std::string* outcome) {
    // SG_IO wants a mutable pointer even for data out; the copy keeps the caller's buffer const.
    std::vector<std::uint8_t> copy(data.begin(), data.end());
    return RunAtaCommand(path, task_file, copy, length, timeout_seconds, DataDirection::Out,
                         kWriteFailure, outcome);
}

TaskFile TaskFileFromBlock(std::span<const std::uint8_t, 12> block) {
    return {block[3], block[4], block[5], block[6], block[7], block[8], block[9], 0};
}

int SendAtaCommand(const std::string& path, bool data_in, std::span<const std::uint8_t> block,
                   std::span<std::uint8_t> data, int length, int timeout_seconds) {
    if (path.empty() || block.size() < 12) return -1;
    const bool whole = block.size() == 16 && block[0] == kAtaPassThrough16;
    TaskFile task_file = whole ? TaskFile{block[4],  block[6],  block[8],  block[10],
                                          block[12], block[13], block[14], 0}
                               : TaskFileFromBlock(block.first<12>());
    const auto start = static_cast<std::uint32_t>(platform::NowMs());
    const DataDirection direction = data_in ? DataDirection::In : DataDirection::Out;
    // A 48-bit block goes out as built; its data-out buffer is only read.
    const int result =
        whole     ? RunAtaCommand(path, task_file, data, length, timeout_seconds, direction,
                              data_in ? kReadFailure : kWriteFailure, nullptr, block)
        : data_in ? ReadATACommandWithTimeOutValue(path, task_file, data, length, timeout_seconds)
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
