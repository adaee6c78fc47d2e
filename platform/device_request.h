#pragma once
// One command to a drive as every backend takes it: a SCSI request (a command block) or an ATA
// request (a task file). The caller owns every buffer the request names; a backend fills the
// request's outcome and writes only into the data span (data in) and the sense span. Time-outs
// are in milliseconds, 0 for the system's default; a system that counts seconds rounds up.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

namespace vt::platform {

enum class Direction : std::uint8_t { None = 0, In = 1, Out = 2 };

// How the transport (the host adapter and its driver) saw a request end. A request the system
// refused before it reached the device is the backend operation's errno value instead.
enum class Transport : std::uint8_t {
    Delivered = 0,  // the device answered: its status (and sense, registers) say how
    TimedOut = 1,   // no answer within the time-out
    Failed = 2,     // the host adapter or its driver failed the request
};

struct RequestOutcome {
    Transport transport = Transport::Delivered;
    std::uint8_t scsi_status = 0;   // GOOD 00h, CHECK CONDITION 02h, ...
    std::size_t sense_length = 0;   // bytes written at the start of the request's sense span
    std::uint32_t residue = 0;      // bytes of the data phase that did not move
    std::uint32_t duration_ms = 0;  // as the system measured it; 0 where it does not
};

inline constexpr std::uint8_t kScsiGood = 0x00;
inline constexpr std::uint8_t kScsiCheckCondition = 0x02;
inline constexpr std::size_t kMaxCdbLength = 16;

struct ScsiRequest {
    std::array<std::uint8_t, kMaxCdbLength> cdb{};
    std::uint8_t cdb_length = 0;
    Direction direction = Direction::None;
    std::span<std::uint8_t> data;   // read from for Out, written for In, not touched for None
    std::span<std::uint8_t> sense;  // empty: no sense data wanted
    std::uint32_t timeout_ms = 0;
    RequestOutcome outcome;

    // Takes at most kMaxCdbLength bytes of a command block.
    void SetCdb(std::span<const std::uint8_t> block) {
        cdb = {};
        cdb_length = static_cast<std::uint8_t>(std::min(block.size(), kMaxCdbLength));
        std::copy_n(block.begin(), cdb_length, cdb.begin());
    }
    std::span<const std::uint8_t> Cdb() const {
        return {cdb.data(), std::min<std::size_t>(cdb_length, kMaxCdbLength)};
    }
    std::span<const std::uint8_t> Sense() const {
        return {sense.data(), std::min(outcome.sense_length, sense.size())};
    }
};

// FEATURES/ERROR, SECTOR COUNT, LBA LOW, LBA MID, LBA HIGH, DEVICE, COMMAND/STATUS, reserved (0).
using TaskFile = std::array<std::uint8_t, 8>;
inline constexpr std::size_t kTaskCommand = 6;  // COMMAND in, STATUS out
inline constexpr std::uint8_t kAtaStatusErr = 0x01;

// A 48-bit command's high-order registers, written before the task file's: FEATURES, SECTOR COUNT,
// LBA LOW, LBA MID, LBA HIGH (bits 8-15, 8-15, 24-31, 32-39, 40-47).
using PreviousTaskFile = std::array<std::uint8_t, 5>;

// One ATA command with its registers in and out: a 28-bit command, or a 48-bit one (`extended`).
struct AtaRequest {
    TaskFile task_file{};  // as sent
    bool extended = false;
    PreviousTaskFile previous{};  // `extended` only
    Direction direction = Direction::None;
    bool dma = false;  // the DMA protocol for the data phase, else PIO
    std::span<std::uint8_t> data;
    // Receives the sense data where the command travelled inside a SCSI command (SAT), so a
    // failure can be described as the translation layer reported it. May stay empty.
    std::span<std::uint8_t> sense;
    std::uint32_t timeout_ms = 0;

    // After the command: the register file, the device's own when registers_returned, else the
    // sent task file with ERROR and STATUS inferred from how the command ended.
    TaskFile registers{};
    bool registers_returned = false;
    // The device (its translation layer) refused the pass-through itself: the command never ran,
    // so the registers say nothing.
    bool refused = false;
    RequestOutcome outcome;

    std::span<const std::uint8_t> Sense() const {
        return {sense.data(), std::min(outcome.sense_length, sense.size())};
    }
    // The device ran the command and ended it with ERR clear.
    bool RanWithoutError() const {
        return outcome.transport == Transport::Delivered && !refused &&
               (registers[kTaskCommand] & kAtaStatusErr) == 0;
    }
};

}  // namespace vt::platform
