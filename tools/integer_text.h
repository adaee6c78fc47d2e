#pragma once
// Integers typed by a user or written in the settings file, read as the desktop toolkit reads
// them, so a value means the same in a box of the window and in the file.

#include <optional>
#include <string_view>

namespace vt {

// Decimal with an optional sign after leading blanks, or hexadecimal after "$", "0x" or "x" (any
// case); the whole rest of the text must be digits and the value must fit in 32 bits (hexadecimal
// up to FFFFFFFF, read as its 32-bit two's complement). nullopt otherwise.
std::optional<int> ToolkitStrToInt(std::string_view text);

}  // namespace vt
