#pragma once
// The settings file next to the program: read once at start, never written.
//
// The reader follows the usual sections-and-keys format as the desktop toolkits read it:
// - "[Section]" lines open a section; "key=value" lines belong to the last one opened; other
//   lines (comments with ';' or '#', blank lines, junk) are skipped.
// - Section and key names compare without regard to case; blanks around names and values are
//   dropped, and one pair of matching quotes around a value is removed.
// - The first occurrence of a key in the first section of that name wins.
// - An integer is read as a box of the window reads it (ToolkitStrToInt): an optional sign, then
//   decimal digits, or hex digits after "0x", "x" or "$" in either case, fitting in 32 bits.
//   Anything else, including trailing text ("12abc"), gives the default.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

inline constexpr const char* kSettingsFileName = "VTUtility.ini";
inline constexpr const char* kSettingsSection = "Setting";

// The setting of that name, low 8 bits; read by the bad block detail text.
extern std::uint8_t EnRemapRelation;

struct Settings {
    int EnResetSmart = 0;
    std::uint8_t EnRemapRelation = 0;
};

// The value of a key, nullopt when the section or key is missing.
std::optional<std::string> IniValue(std::string_view ini_text, std::string_view section,
                                    std::string_view key);
std::int32_t IniInteger(std::string_view ini_text, std::string_view section, std::string_view key,
                        std::int32_t fallback);

// Reads program_dir/VTUtility.ini; a missing or unreadable file gives the defaults.
Settings ReadSettings(const std::string& program_dir);

}  // namespace vt
