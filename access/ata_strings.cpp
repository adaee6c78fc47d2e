#include "access/ata_strings.h"

#include <algorithm>
#include <utility>

namespace vt {
namespace {

std::string FieldText(std::span<const std::uint8_t> data, std::size_t offset, std::size_t length,
                      bool swapped) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        // The length is even for every IDENTIFY string; an odd last byte has no partner to swap.
        const std::size_t at = offset + (swapped && (i ^ 1) < length ? i ^ 1 : i);
        if (at >= data.size() || data[at] == 0) break;
        text.push_back(static_cast<char>(data[at]));
    }
    return text;
}

}  // namespace

void SwapBytePairs(std::span<std::uint8_t> text) {
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
}

void SwapAndTrim(std::span<std::uint8_t> text) {
    const std::size_t length = text.size() & ~std::size_t{1};
    SwapBytePairs(text.first(length));
    std::size_t lead = 0;
    while (lead < length && text[lead] == ' ') ++lead;
    std::copy(text.begin() + lead, text.begin() + length, text.begin());
    std::fill(text.begin() + (length - lead), text.begin() + length, 0);
    for (std::size_t i = length; i > 0 && (text[i - 1] == ' ' || text[i - 1] == 0); --i) {
        text[i - 1] = 0;
    }
}

std::string AtaString(std::span<const std::uint8_t> identify, std::size_t offset,
                      std::size_t length) {
    return FieldText(identify, offset, length, true);
}

std::string IdentifyString(std::span<const std::uint8_t> data, std::size_t offset,
                           std::size_t length) {
    return FieldText(data, offset, length, false);
}

std::string TrimDisplay(std::string_view text) {
    const auto blank = [](unsigned char c) { return c <= ' ' || c == 0x7F; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

}  // namespace vt
