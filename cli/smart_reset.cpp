#include "cli/smart_reset.h"

#include <cstdint>
#include <optional>

#include "access/device_tables.h"
#include "discovery/device_scan.h"
#include "views/headless_presentation.h"

namespace vt::cli {
namespace {

// The attributes behind the three counters the reset zeroes.
struct CounterAttribute {
    std::uint8_t id;
    const char* label;  // as the grid's ID column shows it
    const char* name;
    const char* key;  // in JSON
};
constexpr CounterAttribute kResetAttributes[] = {
    {0x09, "09", "power-on hours", "power_on_hours"},
    {0x0C, "0C", "power cycle count", "power_cycle_count"},
    {0xC0, "C0", "unexpected power loss count", "power_loss_count"},
};

// The counters as "Get Smart Info" reads them now, from the decoded attributes; nullopt for one
// the drive does not report (or when the read failed).
std::vector<std::optional<std::uint64_t>> ReadCounters(FormSession& s) {
    s.form().GetSmartInfoBnClick();
    std::vector<std::optional<std::uint64_t>> values(std::size(kResetAttributes));
    const auto& report = s.form().models().smart;
    if (!report) return values;
    for (std::size_t i = 0; i < std::size(kResetAttributes); ++i) {
        for (const auto& entry : report->data.entries) {
            if (entry.id == kResetAttributes[i].id) {
                values[i] = entry.Raw48();
                break;
            }
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
    const auto& cells = s.row().cells;
    const auto cell = [&](std::size_t column) {
        return column < cells.size() ? TrimDisplay(cells[column]) : std::string();
    };
    return "disk " + cell(0) + " (" + s.path() + ", " + cell(1) + ", serial " + cell(2) + ")";
}

}  // namespace

void RefuseSmartReset(FormSession& s) {
    s.TakeMessages();
    const auto now = ReadCounters(s);
    std::string text = "smart --reset would set these S.M.A.R.T. counters of " + DriveName(s) +
                       " to zero; this cannot be undone:\n";
    for (std::size_t i = 0; i < std::size(kResetAttributes); ++i) {
        text += std::string("  ") + kResetAttributes[i].label + " " + kResetAttributes[i].name +
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
        report.lines.push_back(std::string("  ") + a.label + " " + a.name + ": " +
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
