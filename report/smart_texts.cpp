#include "report/smart_texts.h"

#include "pages/text_format.h"

namespace vt {
namespace {

const std::string kReportRule(80, '-');
constexpr const char* kReportHeader =
    "ID  S.M.A.R.T Attribute           Flags   Value  Worst  Threshold  Raw Value";

}  // namespace

std::string SmartRawText(const SmartAttribute& attribute) {
    const auto& raw = attribute.raw;
    return Sprintf("%2.2X %2.2X %2.2X %2.2X %2.2X %2.2X", raw[5], raw[4], raw[3], raw[2], raw[1],
                   raw[0]);
}

TextRow SmartGridHeader() {
    return {"ID", "S.M.A.R.T. Attribute", "Flags", "Value", "Worst", "Threshold", "Raw Value"};
}

std::vector<TextRow> SmartGridRows(const SmartData& data, SmartNameVariant variant) {
    std::vector<TextRow> rows;
    for (const auto& entry : data.entries) {
        if (rows.size() == kSmartGridRows - 1) break;
        const char* name = SmartAttributeName(entry.id, variant);
        if (name == nullptr) continue;
        rows.push_back({Sprintf("%2.2X", entry.id), name, Sprintf("%4.4X", entry.flags),
                        Sprintf("%2.2X", entry.value), Sprintf("%2.2X", entry.worst),
                        Sprintf("%2.2X", entry.threshold), SmartRawText(entry)});
    }
    return rows;
}

std::vector<std::string> SmartSummaryLines(const SmartData& data) {
    std::vector<std::string> lines;
    for (const auto& entry : data.entries) {
        const int r0 = entry.Raw16(0);
        const int r2 = entry.Raw16(2);
        const int r4 = entry.Raw16(4);
        switch (entry.id) {
            case 0x09:
                lines.push_back(Sprintf("Power on hour=%d", r0));
                break;
            case 0x0C:
                lines.push_back(Sprintf("Power on count=%d", r0));
                break;
            case 0xA7:
                lines.push_back(Sprintf("SSD Protect Mode=%d", entry.raw[0]));
                break;
            case 0xA8:
                lines.push_back(Sprintf("SATA phy error count=%d", r0));
                break;
            case 0xA9:
                lines.push_back(Sprintf("Bad Block count=%d", r0));
                lines.push_back(Sprintf("Total bad number=%d", r2));
                lines.push_back(Sprintf("Later bad number=%d", r4));
                break;
            case 0xAD:
                lines.push_back(Sprintf("Erase count=%d", r0));
                break;
            case 0xAF:
                lines.push_back(Sprintf("Bad cluster table count=%d", r0));
                break;
            case 0xC0:
                lines.push_back(Sprintf("Unexpected power loss count=%d", r0));
                break;
            case 0xC2:
                lines.push_back(Sprintf("Temperature: Current=%d  Min=%d  Max=%d", r0, r2, r4));
                break;
            default:
                break;
        }
    }
    return lines;
}

std::string SmartGroupCaption(std::uint16_t revision) {
    return Sprintf("\nSMART (v%d.%d) information report :\n", revision & 0xFF, revision >> 8);
}

std::vector<std::string> SmartReportLines(const std::vector<TextRow>& rows) {
    std::vector<std::string> lines{kReportRule, kReportHeader, kReportRule};
    for (const auto& row : rows) {
        if (row.empty() || row[0].empty()) continue;
        const auto cell = [&](std::size_t column) {
            return column < row.size() ? row[column].c_str() : "";
        };
        lines.push_back(Sprintf("%s  %-30s %-7s %-6s %-7s %-7s %-30s", cell(0), cell(1), cell(2),
                                cell(3), cell(4), cell(5), cell(6)));
    }
    return lines;
}

}  // namespace vt
