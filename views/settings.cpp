#include "views/settings.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "access/debug_msg.h"
#include "platform/files.h"
#include "tools/integer_text.h"

namespace vt {

std::uint8_t EnRemapRelation = 0;

namespace {

// A settings file is a few lines; anything larger is not one.
constexpr std::size_t kMaxSettingsBytes = 1 << 20;

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> IniValue(std::string_view ini_text, std::string_view section,
                                    std::string_view key) {
    enum class Place { Before, Inside, After } place = Place::Before;
    std::size_t start = 0;
    while (start <= ini_text.size() && place != Place::After) {
        auto end = ini_text.find('\n', start);
        if (end == std::string_view::npos) end = ini_text.size();
        const auto line = Trim(ini_text.substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            if (close == std::string_view::npos) continue;
            const bool match = SameName(Trim(line.substr(1, close - 1)), section);
            if (place == Place::Inside) place = Place::After;
            if (place == Place::Before && match) place = Place::Inside;
            continue;
        }
        if (place != Place::Inside || line.front() == ';' || line.front() == '#') continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (!SameName(Trim(line.substr(0, equals)), key)) continue;
        auto value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::string(value);
    }
    return std::nullopt;
}

std::int32_t IniInteger(std::string_view ini_text, std::string_view section, std::string_view key,
                        std::int32_t fallback) {
    const auto value = IniValue(ini_text, section, key);
    if (!value) return fallback;
    return ToolkitStrToInt(*value).value_or(fallback);
}

Settings ReadSettings(const std::string& program_dir) {
    Settings settings;
    std::string error;
    bool cut = false;
    const std::string path = program_dir + "/" + kSettingsFileName;
    // The installed program's settings are a link into /etc: followed, but still only to a
    // regular file.
    const auto bytes = platform::ReadFileHead(path, kMaxSettingsBytes, error, cut,
                                              platform::InputFile::Links::Follow);
    if (!bytes) {
        // A missing file is the normal case; anything else at that name is worth a line.
        if (error.find(std::strerror(ENOENT)) == std::string::npos) DebugMsg("%s\n", error.c_str());
        return settings;
    }
    if (cut) {
        DebugMsg("%s is larger than %zu bytes; only its first %zu bytes are read\n", path.c_str(),
                 kMaxSettingsBytes, kMaxSettingsBytes);
    }
    const std::string text(bytes->begin(), bytes->end());
    settings.EnResetSmart = IniInteger(text, kSettingsSection, "EnResetSmart", 0);
    settings.EnRemapRelation =
        static_cast<std::uint8_t>(IniInteger(text, kSettingsSection, "EnRemapRelation", 0) & 0xFF);
    return settings;
}

}  // namespace vt
