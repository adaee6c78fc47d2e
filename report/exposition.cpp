#include "report/exposition.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace vt {
namespace {

std::string LabelSet(const Labels& labels) {
    if (labels.empty()) return {};
    std::string text = "{";
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i > 0) text += ',';
        text += labels[i].first + "=\"" + EscapeLabelValue(labels[i].second) + '"';
    }
    return text + '}';
}

const char* TypeName(MetricType type) {
    switch (type) {
        case MetricType::Counter:
            return "counter";
        case MetricType::Histogram:
            return "histogram";
        case MetricType::Gauge:
            break;
    }
    return "gauge";
}

}  // namespace

Histogram::Histogram(std::vector<double> upper_bounds) : bounds_(std::move(upper_bounds)) {
    std::sort(bounds_.begin(), bounds_.end());
    bounds_.erase(std::unique(bounds_.begin(), bounds_.end()), bounds_.end());
    counts_.assign(bounds_.size() + 1, 0);
}

void Histogram::Observe(double value) {
    const auto bucket = std::lower_bound(bounds_.begin(), bounds_.end(), value) - bounds_.begin();
    ++counts_[static_cast<std::size_t>(bucket)];
    sum_ += value;
    ++count_;
}

void MetricFamily::Add(Labels labels, double value) {
    lines_.push_back(name_ + LabelSet(labels) + ' ' + FormatValue(value));
}

void MetricFamily::Add(Labels labels, const Histogram& histogram) {
    std::uint64_t cumulative = 0;
    for (std::size_t b = 0; b < histogram.counts().size(); ++b) {
        cumulative += histogram.counts()[b];
        Labels with_bound = labels;
        with_bound.emplace_back(
            "le", b < histogram.bounds().size() ? FormatValue(histogram.bounds()[b]) : "+Inf");
        lines_.push_back(name_ + "_bucket" + LabelSet(with_bound) + ' ' +
                         FormatValue(static_cast<double>(cumulative)));
    }
    lines_.push_back(name_ + "_sum" + LabelSet(labels) + ' ' + FormatValue(histogram.sum()));
    lines_.push_back(name_ + "_count" + LabelSet(labels) + ' ' +
                     FormatValue(static_cast<double>(histogram.count())));
}

std::string MetricFamily::Render() const {
    if (lines_.empty()) return {};
    std::string text = "# HELP " + name_ + ' ' + EscapeHelp(help_) + '\n';
    text += "# TYPE " + name_ + ' ' + TypeName(type_) + '\n';
    for (const auto& line : lines_) text += line + '\n';
    return text;
}

std::string EscapeLabelValue(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '"') {
            escaped += "\\\"";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string EscapeHelp(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string FormatValue(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    // Every integer below 2^53 (a 48-bit raw value included) comes out with all its digits; any
    // other value as the shortest text that reads back as the same double.
    std::array<char, 32> text{};
    const auto end = value == std::floor(value) && std::fabs(value) < 9007199254740992.0
                         ? std::to_chars(text.data(), text.data() + text.size(),
                                         static_cast<std::int64_t>(value))
                         : std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), end.ptr);
}

}  // namespace vt
