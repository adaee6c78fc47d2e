#include "serve/tcmu_disk.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "serve/configfs.h"
#include "serve/scsi_exchange.h"
#include "serve/tcmu_ring_layout.h"
#include "sim/scsi_reply.h"

namespace vt::serve {
namespace {

namespace fs = std::filesystem;

// Bytes of a command block by its opcode's group, as the target core passes it on.
std::size_t CdbLength(std::uint8_t opcode) {
    static constexpr std::size_t kByGroup[8] = {6, 10, 10, 12, 16, 12, 10, 10};
    return kByGroup[opcode >> 5];
}

constexpr std::uint8_t kKeyAbortedCommand = 0x0B;
// What the target core would have answered after its own time-out: the kernel drops it anyway.
constexpr std::uint64_t kReleaseMarginMs = 2000;
constexpr std::uint64_t kDefaultTimeOutMs = 30000;

std::string WwnOf(unsigned prefix, unsigned index) {
    char text[32];
    std::snprintf(text, sizeof text, "naa.5001405%01x%08x", prefix & 0xF, index);
    return text;
}

// The UIO device the backstore NAME created: its name is "tcm-user/HBA/NAME/CONFIG".
std::optional<std::string> UioOf(const std::string& name) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/uio", ec)) {
        std::string text, error;
        if (!ReadText((entry.path() / "name").string(), text, error)) continue;
        if (text.starts_with("tcm-user/") && text.find("/" + name + "/") != std::string::npos) {
            return entry.path().filename().string();
        }
    }
    return std::nullopt;
}

}  // namespace

TcmuDisk::TcmuDisk(TcmuSettings settings, sim::VirtualDrive& drive, platform::VirtualClock& clock)
    : settings_(std::move(settings)), drive_(drive), clock_(clock) {
    core_dir_ = settings_.configfs + "/target/core/user_0/" + settings_.name;
    target_dir_ = settings_.configfs + "/target/loopback/" + WwnOf(0, settings_.index);
    lun_link_ = target_dir_ + "/tpgt_1/lun/lun_0/" + settings_.name;
}

std::unique_ptr<TcmuDisk> TcmuDisk::Create(const TcmuSettings& settings, sim::VirtualDrive& drive,
                                           platform::VirtualClock& clock, std::string& error) {
    std::unique_ptr<TcmuDisk> disk(new TcmuDisk(settings, drive, clock));
    if (!disk->Open(error)) return nullptr;
    return disk;
}

bool TcmuDisk::Open(std::string& error) {
    if (!MakeDirectory(settings_.configfs + "/target/core/user_0", error) ||
        !MakeDirectory(core_dir_, error)) {
        return false;
    }
    const std::string control = "dev_size=" + std::to_string(settings_.size_bytes) +
                                ",dev_config=vtbench/" + settings_.name + ",hw_block_size=512";
    if (!WriteText(core_dir_ + "/control", control, error) ||
        !WriteText(core_dir_ + "/enable", "1", error)) {
        return false;
    }
    // The target core refuses a new time-out once the LUN is exported.
    if (settings_.command_time_out != 0 &&
        !WriteText(core_dir_ + "/attrib/cmd_time_out", std::to_string(settings_.command_time_out),
                   error)) {
        return false;
    }
    const auto uio = UioOf(settings_.name);
    if (!uio) {
        error = "no UIO device for the backstore " + settings_.name;
        return false;
    }
    std::string size_text;
    if (!ReadText("/sys/class/uio/" + *uio + "/maps/map0/size", size_text, error)) return false;
    map_size_ = static_cast<std::size_t>(std::strtoull(size_text.c_str(), nullptr, 0));
    const std::string node = "/dev/" + *uio;
    uio_fd_ = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (uio_fd_ < 0) {
        error = "cannot open " + node + ": " + std::strerror(errno);
        return false;
    }
    void* map = ::mmap(nullptr, map_size_, PROT_READ | PROT_WRITE, MAP_SHARED, uio_fd_, 0);
    if (map == MAP_FAILED || map_size_ < sizeof(tcmu::Mailbox)) {
        error = "cannot map the command ring of " + node + ": " + std::strerror(errno);
        if (map != MAP_FAILED) ::munmap(map, map_size_);
        return false;
    }
    map_ = static_cast<std::uint8_t*>(map);
    const auto* mailbox = reinterpret_cast<const tcmu::Mailbox*>(map_);
    if (mailbox->version != tcmu::kMailboxVersion ||
        std::uint64_t{mailbox->cmdr_off} + mailbox->cmdr_size > map_size_) {
        error = node + ": a command ring of an unknown layout (mailbox version " +
                std::to_string(mailbox->version) + ")";
        return false;
    }
    tail_ = __atomic_load_n(&mailbox->cmd_tail, __ATOMIC_ACQUIRE);
    if (settings_.trace) {
        std::fprintf(stderr, "%s: %s, %zu bytes mapped, ring at %u, %u bytes, flags %04Xh\n",
                     settings_.name.c_str(), node.c_str(), map_size_, mailbox->cmdr_off,
                     mailbox->cmdr_size, mailbox->flags);
    }
    return true;
}

bool TcmuDisk::Export(std::string& error) {
    const std::string tpg = target_dir_ + "/tpgt_1";
    // The first directory of a fabric loads it.
    if (!MakeDirectory(settings_.configfs + "/target/loopback", error) ||
        !MakeDirectory(target_dir_, error) || !MakeDirectory(tpg, error) ||
        !MakeDirectory(tpg + "/lun", error) || !MakeDirectory(tpg + "/lun/lun_0", error) ||
        !WriteText(tpg + "/nexus", WwnOf(1, settings_.index), error) ||
        !MakeLink(core_dir_, lun_link_, error)) {
        return false;
    }
    exported_ = true;
    return true;
}

void TcmuDisk::Unexport() {
    if (!exported_.exchange(false)) return;
    if (unexporter_.joinable()) unexporter_.join();
    removing_ = true;
    unexporter_ = std::thread([this] {
        RemoveExport();
        removing_ = false;
    });
}

void TcmuDisk::RemoveExport() {
    const std::string tpg = target_dir_ + "/tpgt_1";
    RemoveLink(lun_link_);
    RemoveDirectory(tpg + "/lun/lun_0");
    std::string ignored;
    WriteText(tpg + "/nexus", "NULL", ignored);
    RemoveDirectory(tpg);
    RemoveDirectory(target_dir_);
}

TcmuDisk::~TcmuDisk() {
    if (unexporter_.joinable()) unexporter_.join();
    if (exported_.exchange(false)) RemoveExport();
    if (map_ != nullptr) ::munmap(map_, map_size_);
    if (uio_fd_ >= 0) ::close(uio_fd_);
    std::string ignored;
    WriteText(core_dir_ + "/enable", "0", ignored);
    RemoveDirectory(core_dir_);
}

int TcmuDisk::Service(std::uint64_t now_ms) {
    auto* mailbox = reinterpret_cast<tcmu::Mailbox*>(map_);
    const std::uint32_t ring_size = mailbox->cmdr_size;
    const std::size_t ring = mailbox->cmdr_off;
    bool moved = false;
    int wait_ms = -1;
    for (;;) {
        const std::uint32_t head = __atomic_load_n(&mailbox->cmd_head, __ATOMIC_ACQUIRE);
        if (tail_ == head) break;
        if (tail_ + sizeof(tcmu::EntryHeader) > ring_size) break;  // a ring we cannot read
        auto* header = reinterpret_cast<tcmu::EntryHeader*>(map_ + ring + tail_);
        const std::uint32_t length = header->len_op & ~tcmu::kOpMask;
        if (length == 0 || tail_ + length > ring_size) break;
        const auto op = header->len_op & tcmu::kOpMask;
        if (settings_.trace) {
            std::fprintf(stderr, "%s: entry at %u of %u bytes, op %u, id %u (head %u)\n",
                         settings_.name.c_str(), tail_, length, op, header->cmd_id, head);
        }
        if (op == tcmu::kOpCmd) {
            if (held_until_ms_) {
                if (now_ms < *held_until_ms_) {
                    wait_ms = static_cast<int>(*held_until_ms_ - now_ms);
                    break;
                }
                Release(ring + tail_);
                held_until_ms_.reset();
            } else if (!Answer(ring + tail_)) {
                // The drive does not answer: the kernel's own time-out ends the command; only
                // then does the entry go back, with an answer the kernel no longer takes.
                const std::uint64_t kernel_ms = settings_.command_time_out != 0
                                                    ? settings_.command_time_out * 1000ull
                                                    : kDefaultTimeOutMs;
                held_until_ms_ = now_ms + kernel_ms + kReleaseMarginMs;
                continue;
            }
        } else if (op != tcmu::kOpPad) {
            header->uflags |= tcmu::kUflagUnknownOp;
        }
        tail_ = (tail_ + length) % ring_size;
        __atomic_store_n(&mailbox->cmd_tail, tail_, __ATOMIC_RELEASE);
        moved = true;
    }
    if (moved) {
        const std::uint32_t event = 0;
        const ssize_t written = ::write(uio_fd_, &event, sizeof event);
        if (settings_.trace) {
            std::fprintf(stderr, "%s: tail now %u, kernel told: %s\n", settings_.name.c_str(),
                         tail_, written < 0 ? std::strerror(errno) : "yes");
        }
    }
    return wait_ms;
}

bool TcmuDisk::Answer(std::size_t entry_offset) {
    auto* entry = reinterpret_cast<tcmu::Entry*>(map_ + entry_offset);
    ++commands_;
    // Everything of the request, before the answer overwrites it.
    const std::uint64_t cdb_offset = entry->request.cdb_off;
    const std::uint32_t iov_count = entry->request.iov_cnt;
    struct Piece {
        std::uint64_t offset, length;
    };
    std::vector<Piece> pieces;
    std::size_t total = 0;
    bool sound = cdb_offset < map_size_ && iov_count <= 4096 &&
                 entry_offset + sizeof(tcmu::EntryHeader) + sizeof(tcmu::Request) +
                         iov_count * sizeof(tcmu::Iovec) <=
                     map_size_;
    for (std::uint32_t i = 0; sound && i < iov_count; ++i) {
        tcmu::Iovec iov{};
        std::memcpy(&iov,
                    map_ + entry_offset + sizeof(tcmu::EntryHeader) + sizeof(tcmu::Request) +
                        i * sizeof(tcmu::Iovec),
                    sizeof iov);
        if (iov.base > map_size_ || iov.length > map_size_ - iov.base) {
            sound = false;
            break;
        }
        pieces.push_back({iov.base, iov.length});
        total += iov.length;
    }
    std::vector<std::uint8_t> cdb;
    if (sound) {
        const std::size_t length = CdbLength(map_[cdb_offset]);
        sound = cdb_offset + length <= map_size_;
        if (sound) cdb.assign(map_ + cdb_offset, map_ + cdb_offset + length);
    }

    Exchange exchange;
    std::vector<std::uint8_t> data(total);
    sim::Direction direction = sim::Direction::None;
    if (!sound) {
        exchange.status = sim::kCheckCondition;
        exchange.sense = sim::CheckCondition(kKeyAbortedCommand, 0).sense;
    } else {
        direction = total == 0 ? sim::Direction::None : DirectionOfCdb(cdb);
        if (direction == sim::Direction::Out) {
            std::size_t at = 0;
            for (const Piece& piece : pieces) {
                std::copy_n(map_ + piece.offset, piece.length, data.begin() + at);
                at += piece.length;
            }
        }
        exchange = Run(drive_, clock_, cdb, direction, data);
    }
    const bool withheld = exchange.outcome == Outcome::Withheld;
    if (settings_.trace || withheld) {
        const std::string text = CdbText(cdb);
        if (settings_.trace) {
            std::fprintf(stderr, "%s: [%s] %zu bytes -> %s status %02Xh, %zu moved\n",
                         settings_.name.c_str(), text.c_str(), total, OutcomeName(exchange.outcome),
                         exchange.status, exchange.transferred);
        }
        // Said always: whoever waits on the disk learns that only the kernel's time-out ends it.
        if (withheld) {
            std::fprintf(stderr, "vtbench-serve: %s withholds [%s]\n", settings_.name.c_str(),
                         text.c_str());
        }
    }
    if (withheld) return false;
    if (exchange.outcome == Outcome::Gone) {
        gone_ = true;
        exchange.status = sim::kCheckCondition;
        exchange.sense = sim::CheckCondition(sim::kKeyIllegalRequest, 0x25).sense;  // no such LUN
    }

    std::size_t read_length = 0;
    if (direction == sim::Direction::In) {
        read_length = std::min(exchange.transferred, total);
        std::size_t at = 0;
        for (const Piece& piece : pieces) {
            if (at >= read_length) break;
            const std::size_t n = std::min<std::size_t>(piece.length, read_length - at);
            std::copy_n(data.begin() + at, n, map_ + piece.offset);
            at += n;
        }
    }
    const auto* mailbox = reinterpret_cast<const tcmu::Mailbox*>(map_);
    entry->header.uflags = 0;
    entry->response.scsi_status = exchange.status;
    if ((mailbox->flags & tcmu::kCapReadLength) != 0 && direction == sim::Direction::In) {
        entry->header.uflags |= tcmu::kUflagReadLength;
        entry->response.read_len = static_cast<std::uint32_t>(read_length);
    }
    std::memset(entry->response.sense_buffer, 0, sizeof entry->response.sense_buffer);
    std::copy_n(exchange.sense.begin(),
                std::min(exchange.sense.size(), sizeof entry->response.sense_buffer),
                entry->response.sense_buffer);
    return true;
}

void TcmuDisk::Release(std::size_t entry_offset) {
    auto* entry = reinterpret_cast<tcmu::Entry*>(map_ + entry_offset);
    const auto sense = sim::CheckCondition(kKeyAbortedCommand, 0).sense;
    entry->header.uflags = 0;
    entry->response.scsi_status = sim::kCheckCondition;
    std::memset(entry->response.sense_buffer, 0, sizeof entry->response.sense_buffer);
    std::copy(sense.begin(), sense.end(), entry->response.sense_buffer);
}

}  // namespace vt::serve
