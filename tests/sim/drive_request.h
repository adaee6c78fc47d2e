#pragma once
// A command sent straight to a bench drive, as the bench backend would send it: what came back,
// cut to what was moved.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "sim/virtual_drive.h"

namespace vt::test {

struct DriveAnswer {
    unsigned char status = 0;
    std::vector<std::uint8_t> data, sense;
};

// One command with `data` in the direction given; the status and the sense.
inline DriveAnswer SendToDrive(sim::VirtualDrive& drive, platform::VirtualClock& clock,
                               std::span<const std::uint8_t> cdb, std::vector<std::uint8_t> data,
                               platform::Direction direction) {
    DriveAnswer answer;
    answer.data = std::move(data);
    answer.sense.assign(32, 0);
    platform::ScsiRequest request;
    request.SetCdb(cdb);
    request.direction = direction;
    request.data = answer.data;
    request.sense = answer.sense;
    EXPECT_EQ(drive.Execute(request, clock), 0);
    answer.status = request.outcome.scsi_status;
    answer.data.resize(answer.data.size() - request.outcome.residue);
    return answer;
}

inline DriveAnswer ReadFromDrive(sim::VirtualDrive& drive, platform::VirtualClock& clock,
                                 std::span<const std::uint8_t> cdb, std::size_t length) {
    return SendToDrive(drive, clock, cdb, std::vector<std::uint8_t>(length, 0xEE),
                       platform::Direction::In);
}

}  // namespace vt::test
