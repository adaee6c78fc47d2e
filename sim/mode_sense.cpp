#include "sim/mode_sense.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "sim/bytes.h"

namespace vt::sim {
namespace {

constexpr std::uint8_t kModeSense6 = 0x1A;
constexpr std::uint8_t kPageRwRecovery = 0x01;
constexpr std::uint8_t kPageCaching = 0x08;
constexpr std::uint8_t kPageControl = 0x0A;
constexpr std::uint8_t kAllPages = 0x3F;
constexpr std::uint8_t kAscSavingNotSupported = 0x39;

enum PageControl { kCurrent = 0, kChangeable = 1, kDefault = 2, kSaved = 3 };

bool IdentifyBit(const Bytes& identify, std::size_t word, unsigned bit) {
    const std::size_t at = 2 * word + bit / 8;
    return at < identify.size() && (identify[at] & (1u << (bit % 8))) != 0;
}

void AppendPage(Bytes& out, std::uint8_t code, const VirtualDrive& drive, int control) {
    const Bytes& identify = drive.CurrentIdentify();
    switch (code) {
        case kPageRwRecovery: {
            Bytes page = {kPageRwRecovery, 10, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // AWRE
            if (control == kChangeable) std::fill(page.begin() + 2, page.end(), 0);
            out.insert(out.end(), page.begin(), page.end());
            break;
        }
        case kPageCaching: {
            Bytes page(20, 0);
            page[0] = kPageCaching;
            page[1] = 18;
            if (control == kChangeable) {
                page[2] = 0x04;  // the write cache can be switched
            } else if (control == kCurrent) {
                if (IdentifyBit(identify, 85, 5)) page[2] |= 0x04;    // WCE
                if (!IdentifyBit(identify, 85, 6)) page[12] |= 0x20;  // DRA
            }
            out.insert(out.end(), page.begin(), page.end());
            break;
        }
        case kPageControl: {
            Bytes page = {kPageControl, 10, 0, 0, 0, 0, 0xFF, 0xFF, 0, 30, 0, 0};
            if (control == kChangeable) std::fill(page.begin() + 2, page.end(), 0);
            out.insert(out.end(), page.begin(), page.end());
            break;
        }
        default:
            break;
    }
}

}  // namespace

ScsiReply ModeSense(const VirtualDrive& drive, const ScsiCommand& request) {
    const bool six = request.cdb[0] == kModeSense6;
    if (request.cdb.size() < (six ? 6u : 10u))
        return CheckCondition(kKeyIllegalRequest, kAscInvalidField);
    const bool block_descriptor = (request.cdb[1] & 0x08) == 0;  // DBD clear
    const int control = request.cdb[2] >> 6;
    const std::uint8_t code = request.cdb[2] & 0x3F;
    const std::uint8_t subpage = request.cdb[3];
    if (control == kSaved) return CheckCondition(kKeyIllegalRequest, kAscSavingNotSupported);
    if (subpage != 0 && subpage != 0xFF)
        return CheckCondition(kKeyIllegalRequest, kAscInvalidField);

    Bytes pages;
    if (code == kAllPages) {
        for (const std::uint8_t page : {kPageRwRecovery, kPageCaching, kPageControl}) {
            AppendPage(pages, page, drive, control);
        }
    } else if (code == kPageRwRecovery || code == kPageCaching || code == kPageControl) {
        AppendPage(pages, code, drive, control);
    } else {
        return CheckCondition(kKeyIllegalRequest, kAscInvalidField);
    }

    // One short block descriptor: the block length, the count left 0 as the translation does.
    const Bytes descriptor = block_descriptor ? Bytes{0, 0, 0, 0, 0, 0, 0x02, 0x00} : Bytes{};
    Bytes answer;
    if (six) {
        answer = {0, 0, 0, static_cast<std::uint8_t>(descriptor.size())};
    } else {
        answer = {0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(descriptor.size())};
    }
    answer.insert(answer.end(), descriptor.begin(), descriptor.end());
    answer.insert(answer.end(), pages.begin(), pages.end());
    if (six) {
        answer[0] = static_cast<std::uint8_t>(answer.size() - 1);
    } else {
        answer[0] = static_cast<std::uint8_t>((answer.size() - 2) >> 8);
        answer[1] = static_cast<std::uint8_t>(answer.size() - 2);
    }

    const std::size_t allocation = six ? request.cdb[4] : Be16(request.cdb, 7);
    ScsiReply reply;
    reply.transferred = std::min({allocation, answer.size(), request.data.size()});
    std::copy_n(answer.begin(), reply.transferred, request.data.begin());
    return reply;
}

}  // namespace vt::sim
