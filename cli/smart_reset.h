#pragma once
// vtutil smart --reset: the counters the reset zeroes, read before and after, and the refusal
// without --yes. The reset itself is the window's "Reset Smart Info".

#include <stdexcept>

#include "cli/form_session.h"
#include "report/smart_reset.h"

namespace vt::cli {

// A destructive command asked without --yes: what it would do, for standard error.
class ConfirmationNeeded : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads the drive's S.M.A.R.T. data and throws ConfirmationNeeded listing the counters the reset
// would zero, with their values now.
[[noreturn]] void RefuseSmartReset(FormSession& session);

// Resets the counters and reads them again: each counter before and after, and any failure.
SmartResetReport ResetSmartCounters(FormSession& session);

}  // namespace vt::cli
