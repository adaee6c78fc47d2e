#include "cli/smart_reset.h"

namespace vt::cli {
namespace {

// The counters as "Get Smart Info" reads them now.
SmartResetCounters ReadCounters(FormSession& s) {
    s.form().GetSmartInfoBnClick();
    return SmartResetCountersOf(s.form().models().smart);
}

}  // namespace

void RefuseSmartReset(FormSession& s) {
    s.TakeMessages();
    const auto now = ReadCounters(s);
    throw ConfirmationNeeded(SmartResetRefusal(s.identity(), now, s.TakeMessages()));
}

SmartResetReport ResetSmartCounters(FormSession& s) {
    s.TakeMessages();
    const auto before = ReadCounters(s);
    auto messages = s.TakeMessages();
    s.form().ResetSmartInfoBnClick();
    const auto failures = s.TakeMessages();
    // Read again whatever the reset said: the report shows what the drive holds now.
    const auto after = ReadCounters(s);
    const auto after_failures = s.TakeMessages();
    messages.insert(messages.end(), failures.begin(), failures.end());
    messages.insert(messages.end(), after_failures.begin(), after_failures.end());
    return SmartResetDocument(s.identity(), before, after, messages, failures.empty());
}

}  // namespace vt::cli
