#pragma once
// printf-style text building for the page texts, whose exact forms are C format strings (the
// result grows as needed: no text is ever cut), and the 8-bit texts' conversions every output
// shares.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/format_check.h"

namespace vt {

std::string Sprintf(const char* format, ...) VT_PRINTF_FORMAT(1, 2);
void AppendF(std::string& out, const char* format, ...) VT_PRINTF_FORMAT(2, 3);

// The same as AppendF(out, "%*lu", width, value) without the format parser: the long tables append
// hundreds of thousands of numbers.
void AppendDecimal(std::string& out, std::uint64_t value, int width = 0);
// "%4.4d"-style: at least `digits` digits, zero-padded.
void AppendZeroPadded(std::string& out, std::uint64_t value, int digits);

// 8-bit text as JSON wants it: each byte becomes the character of the same number.
std::string Latin1ToUtf8(std::string_view text);
// A memo's view of a text: lines split at CR LF pairs only.
std::vector<std::string> SplitAtCrLf(std::string_view text);

}  // namespace vt
