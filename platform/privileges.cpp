#include "platform/privileges.h"

#include <unistd.h>

namespace vt::platform {

bool RunsAsRoot() {
    return ::geteuid() == 0;
}

}  // namespace vt::platform
