#include "platform/privileges.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vt::platform {

bool RunsAsRoot() {
    return ::geteuid() == 0;
}

bool HasRawAccess() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return ::geteuid() == 0;
    return (data[CAP_TO_INDEX(CAP_SYS_RAWIO)].effective & CAP_TO_MASK(CAP_SYS_RAWIO)) != 0;
}

}  // namespace vt::platform

namespace vt::platform {

const char* PrivilegedAccountName() {
    return "root";
}

const char* HowToGetRawAccess() {
    return "raw drive access needs root (run the tool as root, for example with sudo)";
}

}  // namespace vt::platform
