#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vt::platform {
namespace {

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteWithFlags(const std::string& path, std::span<const std::uint8_t> bytes, int flags) {
    const int fd = ::open(path.c_str(), flags | O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, bytes);
    return (::close(fd) == 0) && ok;
}

}  // namespace

bool AppendToFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return WriteWithFlags(path, bytes, O_APPEND);
}

bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return WriteWithFlags(path, bytes, O_TRUNC);
}

bool ReplaceFile(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "Cannot create " + temp + ": " + std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes);
    int saved = errno;
    // mkostemp makes 0600; a report should be readable like any other file.
    if (ok) (void)::fchmod(fd, 0644);
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        error = "Cannot write " + path + ": " + std::strerror(saved);
    }
    return ok;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path,
                                                       std::size_t max_bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "Cannot open " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    while (bytes.size() < max_bytes) {
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, max_bytes - bytes.size()));
        if (n < 0) {
            if (errno == EINTR) continue;
            error = "Cannot read " + path + ": " + std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return bytes;
}

std::string ProgramDirectory() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}

}  // namespace vt::platform
