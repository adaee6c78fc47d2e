#include "access/debug_msg.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "access/mode_flags.h"
#include "platform/debugger_channel.h"
#include "platform/files.h"
#include "platform/named_objects.h"

namespace vt {
namespace {

// Opened on the first message that goes to the file, kept for the rest of the process.
platform::NamedMutex& FileLock() {
    static platform::NamedMutex lock("DBGAcess");
    return lock;
}

constexpr std::uint32_t kDebugLockWaitMs = 2000;

}  // namespace

void DebugMsg(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);

    platform::SendToDebugger(text);
    // Standard error too when asked for: Linux has no debugger channel to watch.
    if (std::getenv("VTUTIL_DEBUG") != nullptr) std::fputs(text, stderr);
    if (!DebugFileEnabled) return;

    auto& lock = FileLock();
    // Bounded: a lock another process holds on to must not stall the tool. Without it the message
    // is appended all the same (it may then interleave with the other process's lines).
    // After one wait in vain the holder is not waited for again: a refresh logs hundreds of lines.
    static bool gave_up = false;
    const bool locked = lock.Lock(gave_up ? 0 : kDebugLockWaitMs);
    if (!locked && !gave_up) {
        std::fprintf(stderr, "%s\n", lock.error().c_str());
        gave_up = true;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    platform::AppendToFile(kDebugFileName, {bytes, std::strlen(text)});
    if (locked) lock.Unlock();
}

}  // namespace vt
