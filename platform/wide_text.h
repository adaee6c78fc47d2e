#pragma once
// UTF-8, the program's text everywhere, to and from UTF-16, the text of Windows' wide-character
// calls. Portable, so its handling of malformed text is tested on every system.

#include <optional>
#include <string>
#include <string_view>

namespace vt::platform {

// nullopt for bytes that are not UTF-8 (a cut or overlong sequence, an encoded surrogate, a value
// past U+10FFFF): such a name would reach a different file than the one spelt, so it is refused.
std::optional<std::u16string> Utf16FromUtf8(std::string_view text);
// A surrogate without its partner (Windows allows them in names) becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

// A path for the wide-character calls, or nullopt for one that is not UTF-8 or holds a NUL
// (which would cut the name short).
std::optional<std::wstring> WidePath(const std::string& path);
// Text from the wide-character calls (UTF-16 units) as UTF-8.
std::string NarrowText(const std::wstring& text);

}  // namespace vt::platform
