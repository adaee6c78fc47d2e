#pragma once
// vtutil's text for a terminal. Drive strings, file names and bench files may carry control
// bytes; sent raw they would move the cursor, clear the screen or retitle the window.

#include <string>
#include <string_view>

namespace vt::cli {

// The text with each control byte shown as \xHH: C0 controls other than tab and line feed, DEL,
// and the C1 controls as UTF-8 encodes them (C2h 80h-9Fh). Every other byte stays as it is.
std::string TerminalText(std::string_view text);

// One line of text output on standard output, escaped.
void PrintLine(std::string_view line);
// "vtutil: MESSAGE" on standard error, escaped.
void Warn(std::string_view message);

}  // namespace vt::cli
