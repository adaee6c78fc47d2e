#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <utility>

#include "platform/files.h"
#include "platform/system_text_windows.h"
#include "platform/temporary_name.h"

namespace vt::platform {
namespace {

HANDLE AsHandle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

NativeHandle FromHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<NativeHandle>(handle);
}

bool WriteAll(HANDLE handle, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data() + done, chunk, &written, nullptr)) return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);  // no progress: never a loop without end
            return false;
        }
        done += written;
    }
    return true;
}

// What stands at a name, looked at without following a link: the handle is opened on the
// reparse point itself, and with backup semantics so that a directory opens too.
struct Examined {
    DWORD error = ERROR_SUCCESS;
    DWORD type = FILE_TYPE_UNKNOWN;  // GetFileType: DISK for files and directories, CHAR for NUL
    BY_HANDLE_FILE_INFORMATION info{};
    bool has_info = false;

    bool Missing() const { return error == ERROR_FILE_NOT_FOUND; }
    bool ReparsePoint() const {
        return has_info && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    }
    bool Directory() const {
        return has_info && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    bool RegularFile() const {
        return type == FILE_TYPE_DISK && has_info && !ReparsePoint() && !Directory();
    }
};

Examined Examine(HANDLE handle) {
    Examined seen;
    seen.type = ::GetFileType(handle);
    seen.has_info = seen.type == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &seen.info);
    return seen;
}

Examined ExamineName(const std::wstring& name, bool follow) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE handle = ::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Examined seen;
        seen.error = ::GetLastError();
        // A missing directory on the way is as missing as the file for the caller's messages.
        if (seen.error == ERROR_PATH_NOT_FOUND) seen.error = ERROR_FILE_NOT_FOUND;
        return seen;
    }
    const Examined seen = Examine(handle);
    ::CloseHandle(handle);
    return seen;
}

const char* KindOf(const Examined& seen) {
    if (seen.Directory()) return "a directory";
    if (seen.type == FILE_TYPE_CHAR) return "a character device";
    if (seen.type == FILE_TYPE_PIPE) return "a pipe";
    return "not a file";
}

const char* kNotUtf8 = "the name is not valid UTF-8 text";

}  // namespace

bool AppendToFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    const auto name = WidePath(path);
    if (!name) return false;
    // Opened on a reparse point itself, never through it; a device (NUL, COM1) is no file either.
    const HANDLE handle = ::CreateFileW(
        name->c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = Examine(handle).RegularFile() && WriteAll(handle, bytes);
    return ::CloseHandle(handle) && ok;
}

InputFile::InputFile(const std::string& path, Links links) : path_(path) {
    const auto name = WidePath(path);
    if (!name) {
        error_ = "Cannot open " + path + ": " + kNotUtf8;
        return;
    }
    const DWORD follow = links == Links::Follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT;
    const HANDLE handle = ::CreateFileW(
        name->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN | follow,
        nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error_ = "Cannot open " + path + ": " + SystemErrorText(::GetLastError());
        return;
    }
    const Examined seen = Examine(handle);
    if (!seen.RegularFile()) {
        error_ = seen.ReparsePoint()
                     ? path + " is a symbolic link or another reparse point; refusing to follow it"
                     : path + " is not a regular file";
        ::CloseHandle(handle);
        return;
    }
    handle_ = FromHandle(handle);
    size_ = (static_cast<std::uint64_t>(seen.info.nFileSizeHigh) << 32) | seen.info.nFileSizeLow;
}

InputFile::~InputFile() {
    if (handle_ != kNoHandle) ::CloseHandle(AsHandle(handle_));
}

std::optional<std::size_t> InputFile::Read(std::span<std::uint8_t> into) {
    if (handle_ == kNoHandle) return std::nullopt;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1 << 30));
    DWORD got = 0;
    if (!::ReadFile(AsHandle(handle_), into.data(), want, &got, nullptr)) {
        error_ = "Cannot read " + path_ + ": " + SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    return got;
}

namespace {

// The temporary file Ctrl-C must remove. The console's handler runs on a thread of its own, so
// the name is kept where that thread reads it without a lock.
wchar_t pending_temp[32768];
std::atomic<bool> temp_pending{false};

BOOL WINAPI RemovePendingTemp(DWORD) {
    // The temporary is open with FILE_SHARE_DELETE: it goes when the process ends and closes it.
    if (temp_pending.load()) ::DeleteFileW(pending_temp);
    return FALSE;  // then the process ends as it would have
}

bool WatchTemp(const std::wstring& temp) {
    if (temp.size() >= std::size(pending_temp) || temp_pending.load()) return false;
    std::copy(temp.begin(), temp.end(), pending_temp);
    pending_temp[temp.size()] = L'\0';
    temp_pending.store(true);
    ::SetConsoleCtrlHandler(RemovePendingTemp, TRUE);
    return true;
}

void UnwatchTemp() {
    if (!temp_pending.load()) return;
    ::SetConsoleCtrlHandler(RemovePendingTemp, FALSE);
    temp_pending.store(false);
}

}  // namespace

ReplacementFile::ReplacementFile(const std::string& path, OutputTarget target) : path_(path) {
    const bool streams = target == OutputTarget::FileOrStream;
    if (streams && path == "-") {
        std::fflush(stdout);  // what the program printed before comes first
        handle_ = FromHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stdout))));
        owns_handle_ = false;
        stream_ = true;
        if (handle_ == kNoHandle) Fail("there is no standard output");
        return;
    }
    const auto name = WidePath(path);
    if (!name) {
        Fail(kNotUtf8);
        return;
    }
    const Examined seen = ExamineName(*name, false);
    if (seen.Missing()) {
        CreateTemporary();
    } else if (seen.error != ERROR_SUCCESS) {
        Fail(SystemErrorText(seen.error));
    } else if (seen.ReparsePoint()) {
        Fail(std::string("It is a symbolic link or another reparse point, which is never written "
                         "through or replaced") +
             (streams ? " (- means standard output)" : ""));
    } else if (seen.RegularFile()) {
        device_ = seen.info.dwVolumeSerialNumber;
        inode_ =
            (static_cast<std::uint64_t>(seen.info.nFileIndexHigh) << 32) | seen.info.nFileIndexLow;
        CreateTemporary();
    } else if (streams && seen.type == FILE_TYPE_CHAR) {
        OpenStream();
    } else {
        Fail(std::string("It is ") + KindOf(seen) + ", not a regular file");
    }
}

void ReplacementFile::Fail(const std::string& reason) {
    failed_ = true;
    error_ = "Cannot write " + (owns_handle_ ? path_ : "standard output") + ": " + reason;
}

// A device such as NUL, written to directly.
void ReplacementFile::OpenStream() {
    const auto name = WidePath(path_);
    const HANDLE handle =
        ::CreateFileW(name->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Fail(SystemErrorText(::GetLastError()));
        return;
    }
    // Whatever was put at the name since it was looked at is not written into.
    if (::GetFileType(handle) != FILE_TYPE_CHAR) {
        ::CloseHandle(handle);
        Fail("It was replaced while it was being opened");
        return;
    }
    handle_ = FromHandle(handle);
    stream_ = true;
}

void ReplacementFile::CreateTemporary() {
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_ = path_ + TemporarySuffix();
        const auto name = WidePath(temp_);
        // Written through to the disk, and removable while open (Ctrl-C's handler removes it).
        const HANDLE handle = ::CreateFileW(
            name->c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OPEN_REPARSE_POINT,
            nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            handle_ = FromHandle(handle);
            watched_ = WatchTemp(*name);
            return;
        }
        error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    Fail(SystemErrorText(error));
}

ReplacementFile::~ReplacementFile() {
    if (handle_ == kNoHandle) return;
    if (owns_handle_) ::CloseHandle(AsHandle(handle_));
    if (stream_) return;
    if (const auto name = WidePath(temp_)) ::DeleteFileW(name->c_str());
    if (watched_) UnwatchTemp();
}

bool ReplacementFile::Write(std::span<const std::uint8_t> bytes) {
    if (handle_ == kNoHandle || failed_) return false;
    if (!WriteAll(AsHandle(handle_), bytes)) Fail(SystemErrorText(::GetLastError()));
    return !failed_;
}

bool ReplacementFile::Commit() {
    if (handle_ == kNoHandle || failed_) return false;
    const HANDLE handle = AsHandle(std::exchange(handle_, kNoHandle));
    if (stream_) {
        if (owns_handle_ && !::CloseHandle(handle)) Fail(SystemErrorText(::GetLastError()));
        return !failed_;
    }
    // On disk before the rename: a crash must leave the old file or the new one under the name,
    // never an empty one.
    bool ok = ::FlushFileBuffers(handle);
    DWORD saved = ::GetLastError();
    if (!::CloseHandle(handle) && ok) {
        ok = false;
        saved = ::GetLastError();
    }
    const auto temp = WidePath(temp_);
    const auto target = WidePath(path_);
    // The rename replaces a link put at the name meanwhile, as on Linux; it never writes into it.
    if (ok && !::MoveFileExW(temp->c_str(), target->c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        saved = ::GetLastError();
    }
    if (!ok) {
        ::DeleteFileW(temp->c_str());
        Fail(SystemErrorText(saved));
    }
    if (watched_) UnwatchTemp();
    return ok;
}

std::string ProgramPath() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return NarrowText(name);
        }
        if (name.size() >= 32768) return {};
        name.resize(name.size() * 2);  // cut short: a longer buffer
    }
}

std::string ProgramDirectory() {
    const std::string exe = ProgramPath();
    const auto cut = exe.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".") : exe.substr(0, cut);
}

std::string MakePrivateTemporaryDirectory(const std::string& prefix) {
    wchar_t base[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH) return {};
    // The user's own temporary directory: its permissions keep other users out.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path =
            NarrowText(std::wstring(base, length)) + prefix + TemporarySuffix().substr(1);
        const auto name = WidePath(path);
        if (!name) return {};
        if (::CreateDirectoryW(name->c_str(), nullptr)) return path;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    const auto name = WidePath(path);
    if (!name) return std::nullopt;
    const Examined seen = ExamineName(*name, true);
    if (!seen.has_info) return std::nullopt;
    return FileIdentity{
        seen.info.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(seen.info.nFileIndexHigh) << 32) | seen.info.nFileIndexLow};
}

bool IsTerminal(StandardStream stream) {
    // A console only: the CRT's isatty also says yes for NUL.
    const HANDLE handle =
        ::GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode);
}

StandardOutputAside::StandardOutputAside() {
    std::fflush(stdout);
    const int saved = ::_dup(1);
    if (saved >= 0 && ::_dup2(2, 1) < 0) {
        ::_close(saved);
        return;
    }
    if (saved >= 0) saved_ = saved;
}

StandardOutputAside::~StandardOutputAside() {
    if (saved_ == kNoHandle) return;
    std::fflush(stdout);
    ::_dup2(static_cast<int>(saved_), 1);
    ::_close(static_cast<int>(saved_));
}

}  // namespace vt::platform
