#pragma once
// The wire format between a program running as the user and the helper that does its raw drive
// access as root. Every message is one frame: a 4-byte little-endian length, then the body, which
// starts with the format version and the operation. The helper trusts nothing it reads: the
// request decoder takes bytes and gives a checked record or the reason it refused them.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/backend.h"

namespace vt::platform::helper {

// 2: requests carry the platform's own SCSI and ATA requests instead of Linux's SG_IO header.
inline constexpr std::uint8_t kVersion = 2;

// The largest data transfer the tool makes (an ATA transfer, a carrier of 128 sectors).
inline constexpr std::uint32_t kMaxTransfer = 65536;
// Above the longest time-out the tool sets (a bridge read: 300 s).
inline constexpr std::uint32_t kMaxTimeoutMs = 600'000;
inline constexpr std::uint32_t kMaxSleepMs = 600'000;
// The longest a per-drive lock is waited for (the tool waits seconds).
inline constexpr std::uint32_t kMaxLockWaitMs = 60'000;
inline constexpr std::size_t kMaxSense = 64;
inline constexpr std::size_t kMaxPath = 255;  // the longest path the enumeration keeps
inline constexpr std::size_t kMaxText = 16384;
inline constexpr std::size_t kMaxDisks = 80;
// No body is longer: a transfer with its headers, a disk list at its limits.
inline constexpr std::uint32_t kMaxFrame = kMaxTransfer + 1024;
static_assert(3 * (kMaxPath + 2) * kMaxDisks + 16 < kMaxFrame);
// A disk's use as the answer carries it: at most this many partitions and users (a description
// only; the hold decides), mount points cut to kMaxMountPoint bytes.
inline constexpr std::size_t kMaxUseEntries = 32;
inline constexpr std::size_t kMaxMountPoint = 1024;
static_assert(kMaxUseEntries * ((kMaxPath + 2) * 2 + 1 + kMaxMountPoint + 2) + 16 < kMaxFrame);

// Operation codes are never reused; a new operation (a per-drive lock, say) takes the next one.
enum class Op : std::uint8_t {
    Hello = 1,
    ListDisks = 2,
    Rescan = 3,
    DeviceNumber = 4,
    Open = 5,
    Close = 6,
    ScsiPassThrough = 7,
    Now = 8,
    Sleep = 9,
    LockDevice = 10,
    UnlockDevice = 11,
    DescribeUse = 12,
    HoldForWriting = 13,
    ReleaseHold = 14,
    AtaPassThrough = 15,
};
inline constexpr Op kLastOp = Op::AtaPassThrough;
inline constexpr bool IsKnownOp(std::uint8_t op) {
    return op >= 1 && op <= static_cast<std::uint8_t>(kLastOp);
}

// What a SCSI and an ATA request share as they cross the wire: values, no pointers.
struct Call {
    std::uint32_t handle = 0;
    Direction direction = Direction::None;
    std::uint32_t transfer_length = 0;
    std::uint32_t timeout_ms = 0;
    std::uint8_t max_sense = 0;
    std::vector<std::uint8_t> data_out;  // transfer_length bytes for Out, else empty
};

struct ScsiCall : Call {
    std::vector<std::uint8_t> cdb;
};

struct AtaCall : Call {
    TaskFile task_file{};
    PreviousTaskFile previous{};  // sent whatever `extended` says; zeros for a 28-bit command
    bool dma = false;
    bool extended = false;
};

struct Request {
    Op op = Op::Hello;
    std::string path;          // ListDisks' entries for Open, DeviceNumber, LockDevice,
                               // DescribeUse and HoldForWriting
    std::uint32_t handle = 0;  // Close; UnlockDevice: the lock; ReleaseHold: the hold
    std::uint32_t ms = 0;      // Sleep; LockDevice: the longest wait
    ScsiCall scsi;             // ScsiPassThrough
    AtaCall ata;               // AtaPassThrough
};

// How the request ended, in every answer's header.
enum class Status : std::uint8_t {
    Ok = 0,
    Malformed = 1,
    NotListed = 2,
    BadHandle = 3,
    Failed = 4
};

// How a SCSI or ATA request ended, with what came back.
struct CallOutcome {
    int error = 0;           // errno value of a request the system refused
    RequestOutcome outcome;  // sense_length is sense.size()
    std::vector<std::uint8_t> sense;
    std::vector<std::uint8_t> data_in;  // transfer_length bytes for In
    // AtaPassThrough only.
    TaskFile registers{};
    bool registers_returned = false;
    bool refused = false;
};

struct Answer {
    Op op = Op::Hello;
    Status status = Status::Ok;
    std::string message;           // why, when not Ok
    bool virtual_clock = false;    // Hello
    std::vector<DiskEntry> disks;  // ListDisks
    bool ok = false;               // Rescan; DeviceNumber: found
    std::string report;            // Rescan
    DeviceNumber number;           // DeviceNumber
    std::int32_t result = 0;       // Open, LockDevice, HoldForWriting: handle, lock or hold, or
                                   // a negative errno value
    DiskUse use;                   // DescribeUse
    std::uint64_t now_ms = 0;      // Now
    CallOutcome call;              // ScsiPassThrough, AtaPassThrough
};

// Bodies, without the length in front.
std::vector<std::uint8_t> EncodeRequest(const Request& request);
std::variant<Request, std::string> DecodeRequest(std::span<const std::uint8_t> body);
std::vector<std::uint8_t> EncodeAnswer(const Answer& answer);
std::variant<Answer, std::string> DecodeAnswer(std::span<const std::uint8_t> body);

// The answer to a request that could not be decoded or was refused.
Answer Refusal(Op op, Status status, std::string message);

}  // namespace vt::platform::helper
