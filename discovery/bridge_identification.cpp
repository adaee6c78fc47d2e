#include "discovery/bridge_identification.h"

#include <cstring>

#include "vendor/catalogue.h"

namespace vt {
namespace {

enum class Match { Whole, FromSecond, RawBytes };

struct TagRow {
    Match match;
    const char* text;
    int kind;
};

// In the order tested: "q709" must win by its own row before the "x709" row is reached.
constexpr TagRow kTagTable[] = {
    {Match::Whole, "q701", 1},      {Match::Whole, "q702", 9},
    {Match::Whole, "q703", 4},      {Match::Whole, "q704", 7},
    {Match::Whole, "q705", 8},      {Match::Whole, "q706", 11},
    {Match::Whole, "q707", 12},     {Match::Whole, "q708", 12},
    {Match::Whole, "q709", 13},     {Match::RawBytes, "\x05\xE3\x07\x18", 14},
    {Match::FromSecond, "712", 13}, {Match::FromSecond, "713", 13},
    {Match::FromSecond, "714", 13}, {Match::FromSecond, "709", 13},
    {Match::Whole, "q710", 13},     {Match::Whole, "q711", 13},
    {Match::Whole, "q715", 10},     {Match::Whole, "FK1X", 10},
    {Match::Whole, "ice ", 10},     {Match::Whole, "qK2x", 10},
    {Match::Whole, "FK2X", 10},
};

}  // namespace

int BridgeKindOfTag(const std::array<std::uint8_t, 4>& tag) {
    // The tag is text of at most four characters: a zero byte ends it.
    char text[5] = {};
    std::memcpy(text, tag.data(), 4);
    for (const auto& row : kTagTable) {
        switch (row.match) {
            case Match::Whole:
                if (std::strcmp(text, row.text) == 0) return row.kind;
                break;
            case Match::FromSecond:
                if (text[0] != 0 && std::strcmp(text + 1, row.text) == 0) return row.kind;
                break;
            case Match::RawBytes:
                if (std::memcmp(tag.data(), row.text, 4) == 0) return row.kind;
                break;
        }
    }
    return kBridgeNone;
}

int IdentifyBridge(unsigned device) {
    std::array<std::uint8_t, 512> answer{};
    if (VC_Inquiry(device, answer, 1) != 1) return kBridgeNone;
    return BridgeKindOfTag({answer[36], answer[37], answer[38], answer[39]});
}

bool IsSupportedBridge(int kind) {
    switch (kind) {
        case 1:
        case 4:
        case 7:
        case 8:
        case 9:
        case 11:
        case 12:
        case 13:
        case 14:
            return true;
        default:
            return false;
    }
}

}  // namespace vt
