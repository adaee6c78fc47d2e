#pragma once
// The S.M.A.R.T. counter reset as documents: the counters the reset zeroes, what the refusal
// without confirmation says, and the report of a reset with each counter before and after.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pages/drive_identity.h"
#include "pages/smart.h"
#include "report/page_json.h"

namespace vt {

// Power-on hours, power cycle count and unexpected power loss count, as raw values; nullopt for
// one the drive does not report (or when the read failed).
using SmartResetCounters = std::array<std::optional<std::uint64_t>, 3>;
SmartResetCounters SmartResetCountersOf(const std::optional<SmartReport>& report);

// What the reset would do to the drive, naming each counter's value now and any message the read
// gave, for standard error.
std::string SmartResetRefusal(const DriveIdentity& drive, const SmartResetCounters& now,
                              const std::vector<std::string>& messages);

struct SmartResetReport {
    std::vector<std::string> lines;
    Json data;
    bool all_reset = false;
};

// `messages`: what the reads and the reset said, in order; `all_reset`: every counter's reset
// succeeded.
SmartResetReport SmartResetDocument(const DriveIdentity& drive, const SmartResetCounters& before,
                                    const SmartResetCounters& after,
                                    const std::vector<std::string>& messages, bool all_reset);

}  // namespace vt
