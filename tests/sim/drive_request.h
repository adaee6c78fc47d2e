#pragma once
// A command sent straight to a bench drive, as the bench backend's SG_IO would: what came back,
// cut to what was moved.

#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <cstdint>
#include <span>
#include <vector>

#include "sim/virtual_drive.h"

namespace vt::test {

struct DriveAnswer {
    unsigned char status = 0;
    std::vector<std::uint8_t> data, sense;
};

// One command with `data` in the direction given, as SG_IO sends it; the status and the sense.
inline DriveAnswer SendToDrive(sim::VirtualDrive& drive, platform::VirtualClock& clock,
                               std::span<const std::uint8_t> cdb, std::vector<std::uint8_t> data,
                               int direction) {
    std::vector<std::uint8_t> block(cdb.begin(), cdb.end());
    DriveAnswer answer;
    answer.data = std::move(data);
    answer.sense.assign(32, 0);
    sg_io_hdr_t request{};
    request.interface_id = 'S';
    request.cmdp = block.data();
    request.cmd_len = static_cast<unsigned char>(block.size());
    request.dxfer_direction = direction;
    request.dxferp = answer.data.data();
    request.dxfer_len = static_cast<unsigned>(answer.data.size());
    request.sbp = answer.sense.data();
    request.mx_sb_len = 32;
    EXPECT_EQ(drive.Execute(request, clock), 0);
    answer.status = request.status;
    answer.data.resize(answer.data.size() - static_cast<std::size_t>(request.resid));
    return answer;
}

inline DriveAnswer ReadFromDrive(sim::VirtualDrive& drive, platform::VirtualClock& clock,
                                 std::span<const std::uint8_t> cdb, std::size_t length) {
    return SendToDrive(drive, clock, cdb, std::vector<std::uint8_t>(length, 0xEE),
                       SG_DXFER_FROM_DEV);
}

}  // namespace vt::test
