#include "cli/smart_reset.h"

#include <cstdint>
#include <optional>

#include "access/device_tables.h"
#include "views/headless_presentation.h"

namespace vt::cli {
namespace {

// The attributes behind the three counters the reset zeroes.
struct CounterAttribute {
    const char* id;  // as the grid's ID column shows it
    const char* name;
    const char* key;  // in JSON
};
constexpr CounterAttribute kResetAttributes[] = {
    {"09", "power-on hours", "power_on_hours"},
    {"0C", "power cycle count", "power_cycle_count"},
    {"C0", "unexpected power loss count", "power_loss_count"},
};

// The raw value as the grid shows it ("00 00 00 00 1F BB"), most significant byte first.
std::optional<std::uint64_t> RawNumber(const std::string& text) {
    std::uint64_t value = 0;
    int digits = 0;
    for (const char c : text) {
        int nibble = -1;
        if (c >= '0' && c <= '9') nibble = c - '0';
        if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
        if (nibble < 0) {
            if (c != ' ') return std::nullopt;
            continue;
        }
        if (++digits > 16) return std::nullopt;
        value = value << 4 | static_cast<std::uint64_t>(nibble);
    }
    if (digits == 0) return std::nullopt;
    return value;
}

// The counters as "Get Smart Info" shows them now; nullopt for one the drive does not report.
std::vector<std::optional<std::uint64_t>> ReadCounters(FormSession& s) {
    s.form().GetSmartInfoBnClick();
    auto& ui = s.ui();
    const int columns = ui.ColCount("StringGrid1");
    int id_column = -1, raw_column = -1;
    for (int c = 0; c < columns; ++c) {
        const std::string caption = ui.Cell("StringGrid1", 0, c);
        if (caption == "ID") id_column = c;
        if (caption == "Raw Value") raw_column = c;
    }
    std::vector<std::optional<std::uint64_t>> values(std::size(kResetAttributes));
    if (id_column < 0 || raw_column < 0) return values;
    for (int r = 1; r < ui.RowCount("StringGrid1"); ++r) {
        const std::string id = ui.Cell("StringGrid1", r, id_column);
        for (std::size_t i = 0; i < std::size(kResetAttributes); ++i) {
            if (id == kResetAttributes[i].id)
                values[i] = RawNumber(ui.Cell("StringGrid1", r, raw_column));
        }
    }
    return values;
}

std::string ValueText(const std::optional<std::uint64_t>& value) {
    return value ? std::to_string(*value) : std::string("not reported");
}

nlohmann::ordered_json ValueJson(const std::optional<std::uint64_t>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

std::string DriveName(FormSession& s) {
    const auto device = s.DeviceJson();
    return "disk " + std::to_string(s.device() + 1) + " (" + device["path"].get<std::string>() +
           ", " + device["model"].get<std::string>() + ", serial " +
           device["serial"].get<std::string>() + ")";
}

}  // namespace

void RefuseSmartReset(FormSession& s) {
    s.TakeMessages();
    const auto now = ReadCounters(s);
    std::string text = "smart --reset would set these S.M.A.R.T. counters of " + DriveName(s) +
                       " to zero; this cannot be undone:\n";
    for (std::size_t i = 0; i < std::size(kResetAttributes); ++i) {
        text += std::string("  ") + kResetAttributes[i].id + " " + kResetAttributes[i].name +
                ", now " + ValueText(now[i]) + "\n";
    }
    for (const auto& message : s.TakeMessages()) text += message + "\n";
    text += "Nothing was reset. Add --yes to reset them.";
    throw ConfirmationNeeded(text);
}

SmartResetReport ResetSmartCounters(FormSession& s) {
    SmartResetReport report;
    s.TakeMessages();
    const auto before = ReadCounters(s);
    const auto read_failures = s.TakeMessages();
    s.form().ResetSmartInfoBnClick();
    const auto failures = s.TakeMessages();
    report.all_reset = failures.empty();
    // Read again whatever the reset said: the report shows what the drive holds now.
    const auto after = ReadCounters(s);
    const auto after_failures = s.TakeMessages();

    report.lines.push_back("S.M.A.R.T. counters of " + DriveName(s) +
                           ", before and after the reset:");
    auto counters = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < std::size(kResetAttributes); ++i) {
        const auto& a = kResetAttributes[i];
        report.lines.push_back(std::string("  ") + a.id + " " + a.name + ": " +
                               ValueText(before[i]) + " -> " + ValueText(after[i]));
        counters.push_back({{"id", a.id},
                            {"counter", a.key},
                            {"before", ValueJson(before[i])},
                            {"after", ValueJson(after[i])}});
    }
    nlohmann::ordered_json messages = nlohmann::ordered_json::array();
    for (const auto* list : {&read_failures, &failures, &after_failures}) {
        for (const auto& message : *list) {
            report.lines.push_back(message);
            messages.push_back(Latin1ToUtf8(message));
        }
    }
    report.lines.push_back(report.all_reset ? "The counters were reset."
                                            : "The reset failed for the counters named above.");
    report.data["reset"] = report.all_reset;
    report.data["counters"] = counters;
    report.data["reset_messages"] = messages;
    return report;
}

}  // namespace vt::cli
