#include "report/smart_reset.h"

#include "pages/text_format.h"

namespace vt {
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
static_assert(std::size(kResetAttributes) == std::tuple_size_v<SmartResetCounters>);

std::string ValueText(const std::optional<std::uint64_t>& value) {
    return value ? std::to_string(*value) : std::string("not reported");
}

Json ValueJson(const std::optional<std::uint64_t>& value) {
    return value ? Json(*value) : Json(nullptr);
}

std::string DriveName(const DriveIdentity& drive) {
    return "disk " + std::to_string(drive.number) + " (" + drive.path + ", " + drive.model +
           ", serial " + drive.serial + ")";
}

}  // namespace

SmartResetCounters SmartResetCountersOf(const std::optional<SmartReport>& report) {
    SmartResetCounters values;
    if (!report) return values;
    for (std::size_t i = 0; i < values.size(); ++i) {
        for (const auto& entry : report->data.entries) {
            if (entry.id == kResetAttributes[i].id) {
                values[i] = entry.Raw48();
                break;
            }
        }
    }
    return values;
}

std::string SmartResetRefusal(const DriveIdentity& drive, const SmartResetCounters& now,
                              const std::vector<std::string>& messages) {
    std::string text = "smart --reset would set these S.M.A.R.T. counters of " + DriveName(drive) +
                       " to zero; this cannot be undone:\n";
    for (std::size_t i = 0; i < now.size(); ++i) {
        text += std::string("  ") + kResetAttributes[i].label + " " + kResetAttributes[i].name +
                ", now " + ValueText(now[i]) + "\n";
    }
    for (const auto& message : messages) text += message + "\n";
    text += "Nothing was reset. Add --yes to reset them.";
    return text;
}

SmartResetReport SmartResetDocument(const DriveIdentity& drive, const SmartResetCounters& before,
                                    const SmartResetCounters& after,
                                    const std::vector<std::string>& messages, bool all_reset) {
    SmartResetReport report;
    report.all_reset = all_reset;
    report.lines.push_back("S.M.A.R.T. counters of " + DriveName(drive) +
                           ", before and after the reset:");
    Json counters = Json::array();
    for (std::size_t i = 0; i < before.size(); ++i) {
        const auto& a = kResetAttributes[i];
        report.lines.push_back(std::string("  ") + a.label + " " + a.name + ": " +
                               ValueText(before[i]) + " -> " + ValueText(after[i]));
        counters.push_back({{"id", a.id},
                            {"counter", a.key},
                            {"before", ValueJson(before[i])},
                            {"after", ValueJson(after[i])}});
    }
    Json said = Json::array();
    for (const auto& message : messages) {
        report.lines.push_back(message);
        said.push_back(Latin1ToUtf8(message));
    }
    report.lines.push_back(all_reset ? "The counters were reset."
                                     : "The reset failed for the counters named above.");
    report.data["reset"] = all_reset;
    report.data["counters"] = counters;
    report.data["reset_messages"] = said;
    return report;
}

}  // namespace vt
