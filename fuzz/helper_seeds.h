#pragma once
// One request body of every kind the programs send the helper, as seeds for its decoder.

#include <map>
#include <string>
#include <vector>

#include "platform/helper_protocol.h"

namespace vt::fuzz {

inline std::map<std::string, std::vector<std::uint8_t>> HelperRequestSeeds() {
    using namespace vt::platform::helper;
    using vt::platform::Direction;
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

    request.op = Op::ScsiPassThrough;
    request.scsi.handle = 1;
    request.scsi.timeout_ms = 10'000;
    request.scsi.max_sense = 32;
    // IDENTIFY DEVICE through ATA PASS-THROUGH(16).
    request.scsi.direction = Direction::In;
    request.scsi.cdb = {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
    request.scsi.transfer_length = 512;
    seeds["sg-identify"] = EncodeRequest(request);
    // A vendor write of one sector through ATA PASS-THROUGH(12).
    request.scsi.direction = Direction::Out;
    request.scsi.cdb = {0xA1, 0x0A, 0x06, 0, 1, 0, 0, 0, 0xA0, 0xCA, 0, 0};
    request.scsi.data_out.assign(512, 0x5A);
    seeds["sg-write"] = EncodeRequest(request);
    // TEST UNIT READY.
    request.scsi.direction = Direction::None;
    request.scsi.cdb = {0, 0, 0, 0, 0, 0};
    request.scsi.transfer_length = 0;
    request.scsi.data_out.clear();
    seeds["sg-none"] = EncodeRequest(request);

    request.op = Op::AtaPassThrough;
    request.ata.handle = 1;
    request.ata.timeout_ms = 10'000;
    request.ata.max_sense = 32;
    // IDENTIFY DEVICE.
    request.ata.direction = Direction::In;
    request.ata.task_file = {0, 1, 0, 0, 0, 0xA0, 0xEC, 0};
    request.ata.transfer_length = 512;
    seeds["ata-identify"] = EncodeRequest(request);
    // A command sector of the DMA carrier.
    request.ata.direction = Direction::Out;
    request.ata.dma = true;
    request.ata.task_file = {0, 1, 0xFF, 0x34, 0x12, 0xE0, 0x88, 0};
    request.ata.data_out.assign(512, 0);
    seeds["ata-write"] = EncodeRequest(request);
    // The vendor unlock, without data.
    request.ata.direction = Direction::None;
    request.ata.dma = false;
    request.ata.task_file = {0xDC, 0x56, 0, 0, 0, 0xE0, 0xEF, 0};
    request.ata.transfer_length = 0;
    request.ata.data_out.clear();
    seeds["ata-none"] = EncodeRequest(request);
    return seeds;
}

}  // namespace vt::fuzz
