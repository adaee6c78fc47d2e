#pragma once
// The shared memory of a target_core_user backstore (mailbox version 2), as the kernel lays it
// out. The kernel's own header does not compile as C++ (it converts integers to enums), so the
// layout is spelled out here, field for field.

#include <cstddef>
#include <cstdint>

namespace vt::serve::tcmu {

inline constexpr std::uint16_t kMailboxVersion = 2;
inline constexpr std::uint16_t kCapReadLength = 1 << 1;

struct __attribute__((packed)) Mailbox {
    std::uint16_t version;
    std::uint16_t flags;
    std::uint32_t cmdr_off;
    std::uint32_t cmdr_size;
    std::uint32_t cmd_head;
    std::uint32_t cmd_tail __attribute__((aligned(64)));  // written by the handler only
};

enum Op : std::uint32_t { kOpPad = 0, kOpCmd = 1, kOpTmr = 2 };
inline constexpr std::uint32_t kOpMask = 0x7;

inline constexpr std::uint8_t kUflagUnknownOp = 0x1;
inline constexpr std::uint8_t kUflagReadLength = 0x2;

struct __attribute__((packed)) EntryHeader {
    std::uint32_t len_op;
    std::uint16_t cmd_id;
    std::uint8_t kflags;
    std::uint8_t uflags;
};

struct __attribute__((packed)) Iovec {
    std::uint64_t base;  // an offset into the shared memory
    std::uint64_t length;
};

inline constexpr std::size_t kSenseSize = 96;

// Not packed in the kernel either: cdb_off sits on its natural alignment.
struct Request {
    std::uint32_t iov_cnt;
    std::uint32_t iov_bidi_cnt;
    std::uint32_t iov_dif_cnt;
    std::uint64_t cdb_off;
    std::uint64_t pad1;
    std::uint64_t pad2;
    // Iovec iov[iov_cnt] follows.
};

struct __attribute__((packed)) Response {
    std::uint8_t scsi_status;
    std::uint8_t pad1;
    std::uint16_t pad2;
    std::uint32_t read_len;
    std::uint8_t sense_buffer[kSenseSize];
};

struct __attribute__((packed)) Entry {
    EntryHeader header;
    union {
        Request request;
        Response response;
    };
};

static_assert(sizeof(Mailbox) == 128);
static_assert(sizeof(EntryHeader) == 8);
static_assert(sizeof(Request) == 40);
static_assert(offsetof(Request, cdb_off) == 16);
static_assert(sizeof(Entry) == 8 + 104);

}  // namespace vt::serve::tcmu
