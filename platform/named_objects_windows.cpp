#include <windows.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "platform/named_objects.h"
#include "platform/system_text_windows.h"

namespace vt::platform {
namespace {

HANDLE AsHandle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Named objects live in the session's namespace, where only backslashes are special. A directory
// given for them (tests keep theirs apart so) becomes part of the name.
std::wstring ObjectName(const std::string& name, const std::string& dir, const char* kind) {
    std::string whole = name;
    if (!dir.empty()) whole = std::string("vtutility-") + kind + "-" + dir + "-" + name;
    for (char& c : whole) {
        if (c == '\\') c = '/';
    }
    const auto wide = WidePath(whole);
    return wide ? *wide : std::wstring();
}

}  // namespace

bool UsePrivateDirectory(const std::string& dir, std::string& error) {
    const auto name = WidePath(dir);
    if (!name) {
        error = "The lock directory " + dir + " is not valid UTF-8 text";
        return false;
    }
    if (!::CreateDirectoryW(name->c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        error =
            "Cannot create the lock directory " + dir + ": " + SystemErrorText(::GetLastError());
        return false;
    }
    // A junction or link there could lead the locks to a directory others share.
    const DWORD attributes = ::GetFileAttributesW(name->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = "The lock directory " + dir + " is not a directory";
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = "The lock directory " + dir + " is a link or junction; refusing to use it";
        return false;
    }
    return true;
}

// The user's own local application data, which other users cannot enter.
std::optional<std::string> PrivateLockDirectory(std::string& error) {
    wchar_t base[32768] = {};
    DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", base, 32768);
    if (length == 0 || length >= 32768) length = ::GetTempPathW(32768, base);
    if (length == 0 || length >= 32768) {
        error = "no local application data or temporary directory for the locks";
        return std::nullopt;
    }
    std::string dir = NarrowText(std::wstring(base, length));
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    dir += "vtutility";
    if (!UsePrivateDirectory(dir, error)) return std::nullopt;
    return dir;
}

namespace {

// The drive locks held by this process, by the number LockRemovableFile gave out.
std::mutex held_lock;
std::map<int, HANDLE> held_files;
int next_held = 0;

}  // namespace

// The file is opened for this process alone and goes when it is closed, also when the process
// ends without closing it: no lock outlives its holder, and none needs removing by name.
int LockRemovableFile(const std::string& path, std::uint32_t wait_ms) {
    const auto name = WidePath(path);
    if (!name) return -EINVAL;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        const HANDLE handle = ::CreateFileW(
            name->c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
            nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            BY_HANDLE_FILE_INFORMATION info{};
            if (!::GetFileInformationByHandle(handle, &info) ||
                (info.dwFileAttributes &
                 (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
                ::CloseHandle(handle);
                return -EINVAL;
            }
            const std::lock_guard guard(held_lock);
            held_files[next_held] = handle;
            return next_held++;
        }
        const DWORD error = ::GetLastError();
        // Held by another process, or being removed by the one that just let it go.
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)
            return -ErrnoOf(error);
        if (Clock::now() >= deadline) return -EWOULDBLOCK;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ReleaseRemovableFile(const std::string&, int lock) {
    HANDLE handle = nullptr;
    {
        const std::lock_guard guard(held_lock);
        const auto it = held_files.find(lock);
        if (it == held_files.end()) return;
        handle = it->second;
        held_files.erase(it);
    }
    ::CloseHandle(handle);
}

// Four bytes of memory shared under the name, holding the first holder's process id. The
// system frees it with the last process that has it open, so a crashed holder frees it too.
InstanceGuard::InstanceGuard(const std::string& name, const std::string& dir) {
    const std::wstring object = L"Local\\" + ObjectName(name, dir, "instance");
    if (object.size() == 6) {
        error_ = "The instance name " + name + " is not valid UTF-8 text";
        return;
    }
    const HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                sizeof(DWORD), object.c_str());
    const DWORD created = ::GetLastError();
    if (mapping == nullptr) {
        error_ = "Cannot create the instance guard " + name + ": " + SystemErrorText(created);
        return;
    }
    auto* pid = static_cast<volatile DWORD*>(
        ::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(DWORD)));
    if (created == ERROR_ALREADY_EXISTS) {
        state_ = State::AlreadyExists;
        if (pid != nullptr && *pid != 0) holder_pid_ = static_cast<long>(*pid);
        if (pid != nullptr) ::UnmapViewOfFile(const_cast<DWORD*>(pid));
        ::CloseHandle(mapping);
        return;
    }
    state_ = State::Created;
    if (pid != nullptr) {
        *pid = ::GetCurrentProcessId();
        ::UnmapViewOfFile(const_cast<DWORD*>(pid));
    }
    handle_ = reinterpret_cast<NativeHandle>(mapping);
}

InstanceGuard::~InstanceGuard() {
    if (handle_ != kNoHandle) ::CloseHandle(AsHandle(handle_));
}

// A Win32 mutex: another process that ends while holding it hands it on as abandoned, which
// still serialises the writers.
NamedMutex::NamedMutex(const std::string& name, const std::string& dir) {
    path_ = name;
    const std::wstring object = ObjectName(name, dir, "mutex");
    if (object.empty()) {
        error_ = "The lock name " + name + " is not valid UTF-8 text";
        return;
    }
    // Opened when another process made it, else made, not taken.
    const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, object.c_str());
    if (mutex == nullptr) {
        error_ = "Cannot open the lock " + name + ": " + SystemErrorText(::GetLastError());
        return;
    }
    handle_ = reinterpret_cast<NativeHandle>(mutex);
}

NamedMutex::~NamedMutex() {
    if (handle_ != kNoHandle) ::CloseHandle(AsHandle(handle_));
}

bool NamedMutex::Lock(std::uint32_t wait_ms) {
    if (handle_ == kNoHandle) return false;
    const DWORD result = ::WaitForSingleObject(AsHandle(handle_), wait_ms);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return true;
    error_ = result == WAIT_TIMEOUT
                 ? "Waited " + std::to_string(wait_ms) + " ms for the lock " + path_ +
                       ", held by another process"
                 : "Cannot lock " + path_ + ": " + SystemErrorText(::GetLastError());
    return false;
}

void NamedMutex::Unlock() {
    if (handle_ != kNoHandle) ::ReleaseMutex(AsHandle(handle_));
}

}  // namespace vt::platform
