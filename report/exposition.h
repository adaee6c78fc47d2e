#pragma once
// The Prometheus text exposition format: metric families with their HELP and TYPE lines, samples
// with escaped label values, histograms with cumulative buckets.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vt {

using Labels = std::vector<std::pair<std::string, std::string>>;

enum class MetricType { Gauge, Counter, Histogram };

// Observations sorted into buckets by upper bound; the +Inf bucket is implicit.
class Histogram {
  public:
    explicit Histogram(std::vector<double> upper_bounds);
    void Observe(double value);

    const std::vector<double>& bounds() const { return bounds_; }
    // Per bucket, not cumulative; one more than bounds (the last is +Inf).
    const std::vector<std::uint64_t>& counts() const { return counts_; }
    double sum() const { return sum_; }
    std::uint64_t count() const { return count_; }

  private:
    std::vector<double> bounds_;
    std::vector<std::uint64_t> counts_;
    double sum_ = 0;
    std::uint64_t count_ = 0;
};

class MetricFamily {
  public:
    MetricFamily(std::string name, MetricType type, std::string help)
        : name_(std::move(name)), type_(type), help_(std::move(help)) {}

    void Add(Labels labels, double value);
    void Add(Labels labels, const Histogram& histogram);
    bool empty() const { return lines_.empty(); }
    // HELP, TYPE and the samples; nothing for a family without samples.
    std::string Render() const;

  private:
    std::string name_;
    MetricType type_;
    std::string help_;
    std::vector<std::string> lines_;
};

// A label value or HELP text as the format wants it: backslash and newline escaped, and in a label
// value also the double quote. The text must already be UTF-8.
std::string EscapeLabelValue(std::string_view text);
std::string EscapeHelp(std::string_view text);
// A sample value: integers exactly, NaN and the infinities by their names.
std::string FormatValue(double value);

}  // namespace vt
