#include "serve/configfs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vt::serve {
namespace {

bool Fail(const std::string& what, const std::string& path, std::string& error) {
    error = what + " " + path + ": " + std::strerror(errno);
    return false;
}

}  // namespace

bool WriteText(const std::string& path, const std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return Fail("cannot open", path, error);
    // configfs and sysfs take an attribute in one write.
    const ssize_t written = ::write(fd, text.data(), text.size());
    const int saved = errno;
    ::close(fd);
    errno = saved;
    if (written != static_cast<ssize_t>(text.size())) {
        return Fail("cannot write \"" + text + "\" to", path, error);
    }
    return true;
}

bool ReadText(const std::string& path, std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail("cannot open", path, error);
    text.clear();
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    const int saved = errno;
    ::close(fd);
    errno = saved;
    if (n < 0) return Fail("cannot read", path, error);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    return true;
}

bool MakeDirectory(const std::string& path, std::string& error) {
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    return Fail("cannot create", path, error);
}

bool MakeLink(const std::string& target, const std::string& link, std::string& error) {
    if (::symlink(target.c_str(), link.c_str()) == 0) return true;
    return Fail("cannot link " + target + " as", link, error);
}

void RemoveDirectory(const std::string& path) {
    ::rmdir(path.c_str());
}

void RemoveLink(const std::string& path) {
    ::unlink(path.c_str());
}

}  // namespace vt::serve
