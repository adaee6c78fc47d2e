#include "platform/helper_channel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/byte_order.h"

namespace vt::platform::helper {
namespace {

// 1 when all was read, 0 at end of stream before any byte, -1 on a failure or a cut frame.
int ReadAll(int fd, std::uint8_t* at, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, at + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) return done == 0 ? 0 : -1;
        done += static_cast<std::size_t>(n);
    }
    return 1;
}

bool WriteAll(int fd, const std::uint8_t* at, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, at, size, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) n = ::write(fd, at, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

ReadResult ReadFrame(int fd, std::uint32_t max_body, std::vector<std::uint8_t>& body) {
    std::uint8_t head[4];
    const int got = ReadAll(fd, head, sizeof head);
    if (got == 0) return ReadResult::Closed;
    if (got < 0) return ReadResult::Failed;
    const std::uint32_t length = Le32(head, 0);
    if (length > max_body) return ReadResult::TooLong;
    body.resize(length);
    if (length > 0 && ReadAll(fd, body.data(), length) != 1) return ReadResult::Failed;
    return ReadResult::Frame;
}

bool WriteFrame(int fd, std::span<const std::uint8_t> body) {
    std::vector<std::uint8_t> frame(4 + body.size());
    const auto length = static_cast<std::uint32_t>(body.size());
    for (int i = 0; i < 4; ++i) frame[i] = static_cast<std::uint8_t>(length >> (8 * i));
    std::copy(body.begin(), body.end(), frame.begin() + 4);
    return WriteAll(fd, frame.data(), frame.size());
}

}  // namespace vt::platform::helper
