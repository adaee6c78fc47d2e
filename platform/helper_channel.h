#pragma once
// Frames over a pair of file descriptors (both ends of one socket, or two pipes): a 4-byte
// little-endian length, then the body.

#include <cstdint>
#include <span>
#include <vector>

namespace vt::platform::helper {

enum class ReadResult { Frame, Closed, TooLong, Failed };

// Reads one frame of at most max_body bytes into body. A frame announced longer is not read:
// the stream cannot be trusted after it.
ReadResult ReadFrame(int fd, std::uint32_t max_body, std::vector<std::uint8_t>& body);
// Writes one frame whole; false when the other end is gone. Never raises SIGPIPE on a socket.
bool WriteFrame(int fd, std::span<const std::uint8_t> body);

}  // namespace vt::platform::helper
