#pragma once
// The helper's side: serves one client the operations of a backend, and nothing else. Only the
// disks its own enumeration listed are opened; every request is checked before the backend sees it.

#include <map>
#include <span>
#include <vector>

#include "platform/backend.h"
#include "platform/helper_protocol.h"

namespace vt::platform::helper {

class Server {
  public:
    // virtual_clock: the backend's time is its own (a bench), so the client asks for it here.
    Server(Backend& backend, bool virtual_clock)
        : backend_(backend), virtual_clock_(virtual_clock) {}
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // One request body in, one answer body out.
    std::vector<std::uint8_t> Answer(std::span<const std::uint8_t> body);
    helper::Answer Handle(const Request& request);
    // Serves frames read from in_fd until the client closes its end; 0 then, 1 on a broken stream.
    int Serve(int in_fd, int out_fd);

    // Devices open at most at once: the tool opens one at a time.
    static constexpr std::size_t kMaxOpen = 16;

  private:
    const DiskEntry* Listed(const std::string& path);
    helper::Answer DoScsi(const ScsiCall& call);
    helper::Answer DoAta(const AtaCall& call);

    Backend& backend_;
    const bool virtual_clock_;
    std::vector<DiskEntry> listed_;
    std::map<std::uint32_t, int> open_;   // our handle -> the backend's
    std::map<std::uint32_t, int> locks_;  // our lock -> the backend's
    std::uint32_t next_handle_ = 1;
};

}  // namespace vt::platform::helper
