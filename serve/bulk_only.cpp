#include "serve/bulk_only.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "serve/scsi_exchange.h"
#include "sim/scsi_reply.h"

namespace vt::serve {
namespace {

constexpr std::uint32_t kCbwSignature = 0x43425355;  // "USBC"
constexpr std::uint32_t kCswSignature = 0x53425355;  // "USBS"
constexpr std::uint8_t kRequestSense = 0x03;

void PutLe32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::optional<CommandBlockWrapper> ParseCbw(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kCbwLength || Le32(bytes, 0) != kCbwSignature) return std::nullopt;
    const std::uint8_t flags = bytes[12];
    const std::uint8_t lun = bytes[13];
    const std::uint8_t cdb_length = bytes[14];
    if ((flags & 0x7F) != 0 || (lun & 0xF0) != 0 || (cdb_length & 0xE0) != 0) return std::nullopt;
    if (cdb_length == 0 || cdb_length > 16 || lun != 0) return std::nullopt;
    CommandBlockWrapper cbw;
    cbw.tag = Le32(bytes, 4);
    cbw.data_length = Le32(bytes, 8);
    cbw.data_in = (flags & 0x80) != 0;
    cbw.lun = lun;
    cbw.cdb.assign(bytes.begin() + 15, bytes.begin() + 15 + cdb_length);
    return cbw;
}

std::array<std::uint8_t, kCswLength> MakeCsw(std::uint32_t tag, std::uint32_t residue,
                                             CswStatus status) {
    std::array<std::uint8_t, kCswLength> csw{};
    PutLe32(csw, 0, kCswSignature);
    PutLe32(csw, 4, tag);
    PutLe32(csw, 8, residue);
    csw[12] = static_cast<std::uint8_t>(status);
    return csw;
}

BulkAnswer BulkOnlyDevice::RequestSense(const CommandBlockWrapper& cbw) {
    // Fixed-format "no sense" when nothing failed since the host last asked.
    std::vector<std::uint8_t> sense = sense_;
    if (sense.empty()) sense = {0x70, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    sense_.clear();
    const std::size_t allocation = cbw.cdb.size() >= 5 ? cbw.cdb[4] : 0;
    BulkAnswer answer;
    const std::size_t moved = std::min({sense.size(), allocation, std::size_t{cbw.data_length}});
    answer.data.assign(cbw.data_length, 0);
    std::copy_n(sense.begin(), moved, answer.data.begin());
    answer.residue = static_cast<std::uint32_t>(cbw.data_length - moved);
    return answer;
}

BulkAnswer BulkOnlyDevice::Answer(const CommandBlockWrapper& cbw,
                                  std::span<const std::uint8_t> out_data) {
    BulkAnswer answer;
    if (cbw.data_length > kMaxBulkTransfer ||
        (!cbw.data_in && out_data.size() != cbw.data_length)) {
        // Nothing is sent: the transport halts both endpoints and the host resets.
        answer.status = CswStatus::PhaseError;
        return answer;
    }
    if (cbw.cdb[0] == kRequestSense && cbw.data_in) return RequestSense(cbw);

    std::vector<std::uint8_t> data(cbw.data_length, 0);
    if (!cbw.data_in) std::copy(out_data.begin(), out_data.end(), data.begin());
    const sim::Direction direction = cbw.data_length == 0 ? sim::Direction::None
                                     : cbw.data_in        ? sim::Direction::In
                                                          : sim::Direction::Out;
    const Exchange exchange = Run(drive_, clock_, cbw.cdb, direction, data);
    if (exchange.outcome == Outcome::Withheld) {
        answer.kind = BulkAnswer::Kind::Withheld;
        return answer;
    }
    if (exchange.outcome == Outcome::Gone) {
        answer.kind = BulkAnswer::Kind::Gone;
        return answer;
    }
    const std::size_t moved = std::min<std::size_t>(exchange.transferred, cbw.data_length);
    answer.residue = static_cast<std::uint32_t>(cbw.data_length - moved);
    if (cbw.data_in) {
        // The host's whole length goes out, padded: a short data phase that happens to end on a
        // packet boundary would leave the host waiting for more.
        std::fill(data.begin() + static_cast<std::ptrdiff_t>(moved), data.end(), 0);
        answer.data = std::move(data);
    }
    if (exchange.status != sim::kGood) {
        answer.status = CswStatus::Failed;
        sense_ = exchange.sense;
    } else {
        sense_.clear();
    }
    return answer;
}

}  // namespace vt::serve
