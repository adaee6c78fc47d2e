#pragma once
// One request body of every kind the programs send the helper, as seeds for its decoder.

#include <map>
#include <string>
#include <vector>

#include "platform/helper_protocol.h"

namespace vt::fuzz {

inline std::map<std::string, std::vector<std::uint8_t>> HelperRequestSeeds() {
    using namespace vt::platform::helper;
    std::map<std::string, std::vector<std::uint8_t>> seeds;
    Request request;
    for (const auto& [name, op] : std::map<std::string, Op>{{"hello", Op::Hello},
                                                            {"list", Op::ListDisks},
                                                            {"rescan", Op::Rescan},
                                                            {"now", Op::Now}}) {
        request.op = op;
        seeds[name] = EncodeRequest(request);
    }
    request.op = Op::Open;
    request.path = "ide:/dev/sda";
    seeds["open"] = EncodeRequest(request);
    request.op = Op::DeviceNumber;
    request.path = "/dev/sdb";
    seeds["device-number"] = EncodeRequest(request);
    request.op = Op::Close;
    request.handle = 1;
    seeds["close"] = EncodeRequest(request);
    request.op = Op::Sleep;
    request.ms = 500;
    seeds["sleep"] = EncodeRequest(request);

    request.op = Op::SgIo;
    request.sg.handle = 1;
    request.sg.timeout_ms = 10'000;
    request.sg.max_sense = 32;
    // IDENTIFY DEVICE through ATA PASS-THROUGH(16).
    request.sg.direction = Direction::FromDevice;
    request.sg.cdb = {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
    request.sg.transfer_length = 512;
    seeds["sg-identify"] = EncodeRequest(request);
    // A vendor write of one sector through ATA PASS-THROUGH(12).
    request.sg.direction = Direction::ToDevice;
    request.sg.cdb = {0xA1, 0x0A, 0x06, 0, 1, 0, 0, 0, 0xA0, 0xCA, 0, 0};
    request.sg.data_out.assign(512, 0x5A);
    seeds["sg-write"] = EncodeRequest(request);
    // TEST UNIT READY.
    request.sg.direction = Direction::None;
    request.sg.cdb = {0, 0, 0, 0, 0, 0};
    request.sg.transfer_length = 0;
    request.sg.data_out.clear();
    seeds["sg-none"] = EncodeRequest(request);
    return seeds;
}

}  // namespace vt::fuzz
