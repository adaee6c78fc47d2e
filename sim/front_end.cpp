#include "sim/front_end.h"

#include <algorithm>
#include <optional>

#include "platform/byte_order.h"
#include "sim/bytes.h"
#include "sim/firmware.h"
#include "sim/mode_sense.h"
#include "sim/vendor_commands.h"

namespace vt::sim {
namespace {

enum Opcode : std::uint8_t {
    kTestUnitReady = 0x00,
    kRequestSense = 0x03,
    kInquiry = 0x12,
    kReadCapacity10 = 0x25,
    kRead10 = 0x28,
    kWrite10 = 0x2A,
    kRead16 = 0x88,
    kWrite16 = 0x8A,
    kSynchronizeCache10 = 0x35,
    kModeSense6 = 0x1A,
    kModeSense10 = 0x5A,
    kServiceActionIn16 = 0x9E,
    kAtaPassThrough16 = 0x85,
    kAtaPassThrough12 = 0xA1,
    kVendorBlock = 0xFF,
};

constexpr std::uint8_t kAscAtaInformationAvailable = 0x1D;
constexpr std::uint8_t kDmaCarrierRead = 0x86;
constexpr std::uint8_t kDmaCarrierWrite = 0x88;

ScsiReply InvalidOpcode() {
    return CheckCondition(kKeyIllegalRequest, kAscInvalidOpcode);
}
ScsiReply InvalidField() {
    return CheckCondition(kKeyIllegalRequest, kAscInvalidField);
}

void LogScsi(VirtualDrive& drive, const ScsiCommand& request) {
    LoggedCommand entry;
    entry.kind = CommandKind::Scsi;
    entry.opcode = request.cdb[0];
    std::copy_n(request.cdb.begin(), std::min<std::size_t>(request.cdb.size(), 16),
                entry.block.begin());
    entry.direction = request.direction;
    entry.bytes = static_cast<std::uint32_t>(request.data.size());
    entry.sectors =
        static_cast<std::uint32_t>((request.data.size() + kSectorSize - 1) / kSectorSize);
    drive.State().Record(entry);
}

ScsiReply Transfer(std::span<const std::uint8_t> answer, std::span<std::uint8_t> data) {
    ScsiReply reply;
    reply.transferred = std::min(answer.size(), data.size());
    std::copy_n(answer.begin(), reply.transferred, data.begin());
    return reply;
}

// The vital product data pages a SCSI/ATA translation layer answers from IDENTIFY: the list, the
// unit serial number and the ATA information page (a SAT client reads IDENTIFY from there).
std::optional<Bytes> AtaVpdPage(const VirtualDrive& drive, std::uint8_t page) {
    const Bytes& identify = drive.CurrentIdentify();
    const auto identify_byte = [&](std::size_t at) -> std::uint8_t {
        return at < identify.size() ? identify[at] : 0;
    };
    switch (page) {
        case 0x00:
            return Bytes{0, 0x00, 0, 3, 0x00, 0x80, 0x89};
        case 0x80: {
            Bytes data = {0, 0x80, 0, 20};
            // IDENTIFY words 10-19, each word's bytes swapped back into reading order.
            for (std::size_t i = 0; i < 20; ++i) data.push_back(identify_byte(20 + (i ^ 1)));
            return data;
        }
        case 0x89: {
            Bytes data(572, 0);
            data[1] = 0x89;
            data[2] = 0x02;  // page length 238h
            data[3] = 0x38;
            PutText(data, 8, "linux   ");
            PutText(data, 16, "libata          ");
            PutText(data, 32, "3.00");
            data[36] = 0x34;  // the device signature as a register FIS
            data[37] = 0x80;
            data[38] = 0x50;  // status DRDY
            data[40] = 0x01;
            data[48] = 0x01;
            data[56] = 0xEC;  // IDENTIFY DEVICE
            for (std::size_t i = 0; i < 512; ++i) data[60 + i] = identify_byte(i);
            return data;
        }
        default:
            return std::nullopt;
    }
}

// INQUIRY's EVPD bit asks for a page; without it a page code is an error, as SPC wants.
ScsiReply InquiryPage(const VirtualDrive* drive, const ScsiCommand& request) {
    if (request.cdb.size() < 6) return InvalidField();
    const bool evpd = (request.cdb[1] & 0x01) != 0;
    if (!evpd || drive == nullptr) return InvalidField();
    const auto page = AtaVpdPage(*drive, request.cdb[2]);
    if (!page) return InvalidField();
    const std::size_t allocation = Be16(request.cdb, 3);
    const std::size_t n = std::min(allocation, page->size());
    return Transfer(std::span<const std::uint8_t>(*page).first(n), request.data);
}

// `drive` answers VPD pages as a translation layer does; nullptr for a bridge that has none.
ScsiReply Inquiry(const Bytes& inquiry, const ScsiCommand& request,
                  const VirtualDrive* drive = nullptr) {
    if (request.direction != Direction::In) return InvalidField();
    if (request.cdb.size() >= 3 && ((request.cdb[1] & 0x01) != 0 || request.cdb[2] != 0)) {
        return InquiryPage(drive, request);
    }
    const std::size_t allocation = Be16(request.cdb, 3);
    const std::size_t n = std::min(allocation, inquiry.size());
    return Transfer(std::span<const std::uint8_t>(inquiry).first(n), request.data);
}

ScsiReply ReadCapacity(const VirtualDrive& drive, const ScsiCommand& request) {
    if (request.direction != Direction::In) return InvalidField();
    const std::uint64_t sectors = drive.Config().capacity_sectors;
    const std::uint64_t last = sectors == 0 ? 0 : sectors - 1;
    const std::uint32_t reported =
        last > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(last);
    const Bytes answer = {static_cast<std::uint8_t>(reported >> 24),
                          static_cast<std::uint8_t>(reported >> 16),
                          static_cast<std::uint8_t>(reported >> 8),
                          static_cast<std::uint8_t>(reported),
                          0,
                          0,
                          0x02,
                          0x00};
    return Transfer(answer, request.data);
}

// READ CAPACITY(16): the last LBA in full and the block length; no thin provisioning is
// claimed, since the unmap pages are not answered.
ScsiReply ReadCapacity16(VirtualDrive& drive, const ScsiCommand& request) {
    constexpr std::uint8_t kReadCapacity16Action = 0x10;
    if (request.cdb.size() < 16 || (request.cdb[1] & 0x1F) != kReadCapacity16Action) {
        return InvalidOpcode();
    }
    if (request.direction != Direction::In) return InvalidField();
    const std::uint64_t sectors = drive.Config().capacity_sectors;
    const std::uint64_t last = sectors == 0 ? 0 : sectors - 1;
    Bytes answer(32, 0);
    for (int i = 0; i < 8; ++i) answer[i] = static_cast<std::uint8_t>(last >> (56 - 8 * i));
    answer[10] = 0x02;  // 512-byte blocks
    const std::size_t allocation = Be32(request.cdb, 10);
    return Transfer(
        std::span<const std::uint8_t>(answer).first(std::min(allocation, answer.size())),
        request.data);
}

ScsiReply ReadWrite(VirtualDrive& drive, const ScsiCommand& request, bool write) {
    const bool sixteen = request.cdb[0] == kRead16 || request.cdb[0] == kWrite16;
    if (request.cdb.size() < (sixteen ? 16u : 10u)) return InvalidField();
    const std::uint64_t lba = sixteen
                                  ? std::uint64_t{Be32(request.cdb, 2)} << 32 | Be32(request.cdb, 6)
                                  : Be32(request.cdb, 2);
    const std::uint32_t sectors = sixteen ? Be32(request.cdb, 10) : Be16(request.cdb, 7);
    // No host moves more at once; a larger count is a request no drive would take.
    if (sectors > 0xFFFF) return InvalidField();
    if (lba > drive.Config().capacity_sectors || lba + sectors > drive.Config().capacity_sectors) {
        return CheckCondition(kKeyIllegalRequest, kAscLbaOutOfRange);
    }
    const std::size_t bytes = std::size_t{sectors} * kSectorSize;
    if (request.direction != (write ? Direction::Out : Direction::In) && sectors != 0) {
        return InvalidField();
    }
    ScsiReply reply;
    reply.transferred = std::min(bytes, request.data.size());
    if (write) {
        Bytes data(bytes, 0);
        std::copy_n(request.data.begin(), reply.transferred, data.begin());
        if (!drive.WriteUserSectors(lba, data)) {
            return CheckCondition(kKeyDataProtect, kAscWriteProtected, kAscqSpaceAllocationFailed);
        }
    } else {
        const Bytes data = drive.ReadUserSectors(lba, sectors);
        std::copy_n(data.begin(), reply.transferred, request.data.begin());
    }
    return reply;
}

// SCSI block commands every front end translates to the drive's user sectors.
std::optional<ScsiReply> BlockCommand(VirtualDrive& drive, const ScsiCommand& request) {
    switch (request.cdb[0]) {
        case kTestUnitReady:
        case kSynchronizeCache10:
            return ScsiReply{};
        case kRequestSense:
            return Transfer(Bytes{0x70, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                            request.data);
        case kReadCapacity10:
            return ReadCapacity(drive, request);
        case kServiceActionIn16:
            return ReadCapacity16(drive, request);
        case kModeSense6:
        case kModeSense10:
            if (request.direction != Direction::In && !request.data.empty()) return InvalidField();
            return ModeSense(drive, request);
        case kRead10:
        case kRead16:
            return ReadWrite(drive, request, false);
        case kWrite10:
        case kWrite16:
            return ReadWrite(drive, request, true);
        default:
            return std::nullopt;
    }
}

struct PassThrough {
    AtaInput input;
    std::uint8_t protocol = 0;
    bool check_condition = false;  // CK_COND: return the register file also on success
    bool dir_in = false;           // T_DIR
};

std::optional<PassThrough> DecodePassThrough(std::span<const std::uint8_t> cdb) {
    PassThrough pt;
    if (cdb[0] == kAtaPassThrough16) {
        if (cdb.size() < 16) return std::nullopt;
        pt.input = {cdb[4], cdb[6], cdb[8], cdb[10], cdb[12], cdb[13], cdb[14]};
        pt.input.extended = (cdb[1] & 0x01) != 0;
        if (pt.input.extended) {
            pt.input.count_high = cdb[5];
            pt.input.lba_low_high = cdb[7];
            pt.input.lba_mid_high = cdb[9];
            pt.input.lba_high_high = cdb[11];
        }
    } else {
        if (cdb.size() < 12) return std::nullopt;
        pt.input = {cdb[3], cdb[4], cdb[5], cdb[6], cdb[7], cdb[8], cdb[9]};
    }
    pt.protocol = (cdb[1] >> 1) & 0x0F;
    pt.check_condition = (cdb[2] & 0x20) != 0;
    pt.dir_in = (cdb[2] & 0x08) != 0;
    return pt;
}

// The data direction a protocol moves; nullopt for protocols a disk does not take here.
std::optional<Direction> ProtocolDirection(const PassThrough& pt) {
    switch (pt.protocol) {
        case 3:
            return Direction::None;  // non-data
        case 4:
            return Direction::In;  // PIO data-in
        case 5:
            return Direction::Out;  // PIO data-out
        case 6:
            return pt.dir_in ? Direction::In : Direction::Out;  // DMA
        case 10:
            return Direction::In;  // UDMA data-in
        case 11:
            return Direction::Out;  // UDMA data-out
        default:
            return std::nullopt;
    }
}

ScsiReply AtaPassThrough(VirtualDrive& drive, const ScsiCommand& request) {
    const auto pt = DecodePassThrough(request.cdb);
    if (!pt) return InvalidField();
    const auto direction = ProtocolDirection(*pt);
    if (!direction) return InvalidField();
    // The data direction of the request must be the protocol's, as libata checks.
    if (*direction == Direction::None ? !request.data.empty() : request.direction != *direction) {
        return InvalidField();
    }

    const std::size_t length =
        *direction == Direction::None ? 0 : std::size_t{AtaSectors(pt->input)} * kSectorSize;
    Bytes data(length, 0);
    const std::size_t moved = std::min(length, request.data.size());
    if (*direction == Direction::Out) std::copy_n(request.data.begin(), moved, data.begin());

    const AtaResult result = RunAtaCommand(drive, pt->input, *direction, data);
    ScsiReply reply;
    if (result.lost) {
        reply.lost = result.lost;
        return reply;
    }
    if (!result.ok) {
        reply.status = kCheckCondition;
        reply.sense = AtaReturnSense(kKeyAborted, 0, 0, result.registers);
        return reply;
    }
    if (*direction == Direction::In) std::copy_n(data.begin(), moved, request.data.begin());
    reply.transferred = moved;
    if (pt->check_condition) {
        reply.status = kCheckCondition;
        reply.sense =
            AtaReturnSense(kKeyRecovered, 0, kAscAtaInformationAvailable, result.registers);
    }
    return reply;
}

bool IsAtaPassThrough(std::uint8_t opcode) {
    return opcode == kAtaPassThrough16 || opcode == kAtaPassThrough12;
}

ScsiReply DirectVendorBlock(VirtualDrive& drive, const ScsiCommand& request) {
    // Only the first 12 bytes of a vendor block reach a bridge.
    std::array<std::uint8_t, 16> block{};
    std::copy_n(request.cdb.begin(), std::min<std::size_t>(request.cdb.size(), 12), block.begin());

    DriveState& state = drive.State();
    LoggedCommand entry;
    entry.kind = CommandKind::VendorDirect;
    entry.opcode = block[2];
    entry.sub_command = block[2];
    entry.block = block;
    entry.direction = request.direction;
    entry.bytes = static_cast<std::uint32_t>(request.data.size());
    entry.sectors =
        static_cast<std::uint32_t>((request.data.size() + kSectorSize - 1) / kSectorSize);
    state.Record(entry);

    if (!drive.Config().vendor) return InvalidOpcode();
    if (block[1] != kRouteDirect) return InvalidField();
    if (const auto effect = state.faults.Check(FaultTarget::Vendor, block[2])) {
        state.log.back().fault = EffectName(*effect);
        if (*effect == FaultEffect::Fail) return InvalidField();
        ScsiReply lost;
        lost.lost = effect;
        return lost;
    }
    const auto direction = VendorDirection(block[2], VendorRoute::Direct);
    if (!direction) return InvalidField();
    if (*direction != Direction::None && request.direction != Direction::None &&
        request.direction != *direction) {
        return InvalidField();
    }
    std::span<std::uint8_t> data =
        *direction == Direction::None ? std::span<std::uint8_t>{} : request.data;
    if (!RunVendorCommand(drive, block, VendorRoute::Direct, data)) return InvalidField();
    ScsiReply reply;
    reply.transferred = data.size();
    return reply;
}

}  // namespace

ScsiReply AnswerAtaHost(VirtualDrive& drive, const ScsiCommand& request) {
    if (IsAtaPassThrough(request.cdb[0])) return AtaPassThrough(drive, request);
    LogScsi(drive, request);
    if (request.cdb[0] == kInquiry) return Inquiry(drive.CurrentInquiry(), request, &drive);
    if (auto reply = BlockCommand(drive, request)) return *reply;
    return InvalidOpcode();
}

ScsiReply AnswerSupportedBridge(VirtualDrive& drive, const ScsiCommand& request) {
    if (IsAtaPassThrough(request.cdb[0])) {
        const auto pt = DecodePassThrough(request.cdb);
        const bool dma_carrier =
            pt && (pt->input.command == kDmaCarrierRead || pt->input.command == kDmaCarrierWrite);
        if (dma_carrier && !drive.Config().bridge_passes_dma_carrier) {
            LogScsi(drive, request);
            return InvalidField();
        }
        return AtaPassThrough(drive, request);
    }
    LogScsi(drive, request);
    if (request.cdb[0] == kInquiry) return Inquiry(drive.Config().inquiry, request);
    if (auto reply = BlockCommand(drive, request)) return *reply;
    return InvalidOpcode();
}

ScsiReply AnswerOlderBridge(VirtualDrive& drive, const ScsiCommand& request) {
    if (request.cdb[0] == kVendorBlock) return DirectVendorBlock(drive, request);
    LogScsi(drive, request);
    if (request.cdb[0] == kInquiry) return Inquiry(drive.CurrentInquiry(), request);
    if (auto reply = BlockCommand(drive, request)) return *reply;
    return InvalidOpcode();
}

}  // namespace vt::sim
