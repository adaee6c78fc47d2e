#pragma once
// One data-in command sent straight to a bench drive, as the bench backend would send it: what
// came back, cut to what was moved.

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

inline DriveAnswer ReadFromDrive(sim::VirtualDrive& drive, platform::VirtualClock& clock,
                                 std::span<const std::uint8_t> cdb, std::size_t length) {
    DriveAnswer answer;
    answer.data.assign(length, 0xEE);
    answer.sense.assign(32, 0);
    platform::ScsiRequest request;
    request.SetCdb(cdb);
    request.direction = platform::Direction::In;
    request.data = answer.data;
    request.sense = answer.sense;
    EXPECT_EQ(drive.Execute(request, clock), 0);
    answer.status = request.outcome.scsi_status;
    answer.data.resize(length - request.outcome.residue);
    return answer;
}

}  // namespace vt::test
