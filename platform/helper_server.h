#pragma once
// The helper's side: serves one client the operations of a backend, and nothing else. Only the
// disks its own enumeration listed are opened; every request is checked before the backend sees it,
// and only the commands the tool sends pass: the standard inquiries and reads, the ATA commands and
// carrier transfers of the vendor protocol, and user-data writes to a disk the client holds for
// writing.

#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/helper_protocol.h"

namespace vt::platform::helper {

enum class CommandKind;

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
    // A backend's handle, lock or hold, with the node of the disk it is for.
    struct Held {
        int theirs;
        std::string node;
    };

    const DiskEntry* Listed(const std::string& path);
    helper::Answer DoScsi(const ScsiCall& call);
    helper::Answer DoAta(const AtaCall& call);
    // 0 when a command of this kind may go to the disk, else the errno value it is refused with.
    int RefusalErrno(CommandKind kind, const std::string& node) const;
    // Our id for a backend's, or the backend's negative errno value as it is.
    std::int32_t Keep(std::map<std::uint32_t, Held>& kept, int theirs, const DiskEntry& disk);
    bool HoldsForWriting(const std::string& node) const;

    Backend& backend_;
    const bool virtual_clock_;
    std::vector<DiskEntry> listed_;
    std::map<std::uint32_t, Held> open_;   // our handle -> the backend's
    std::map<std::uint32_t, Held> locks_;  // our lock -> the backend's
    std::map<std::uint32_t, Held> holds_;  // our hold -> the backend's
    // Disks that accepted the vendor unlock: their carrier transfers are the protocol's, not
    // writes of user data.
    std::set<std::string> unlocked_;
    std::uint32_t next_handle_ = 1;
};

}  // namespace vt::platform::helper
