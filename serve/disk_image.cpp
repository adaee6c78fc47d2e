#include "serve/disk_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vt::serve {

bool WriteUserImage(const sim::VirtualDrive& drive, const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const auto size = static_cast<off_t>(drive.Config().capacity_sectors * sim::kSectorSize);
    bool ok = ::ftruncate(fd, size) == 0;
    for (const auto& [lba, sector] : drive.State().user_sectors) {
        if (!ok) break;
        const auto at = static_cast<off_t>(lba * sim::kSectorSize);
        ok = ::pwrite(fd, sector.data(), sector.size(), at) == static_cast<ssize_t>(sector.size());
    }
    if (!ok) error = "cannot write " + path + ": " + std::strerror(errno);
    if (::close(fd) != 0 && ok) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace vt::serve
