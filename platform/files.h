#pragma once
// File writing for a tool that runs as root in directories others may write to: no file is created
// through a symbolic link planted at its name, and a report replaces its old copy only once the new
// one is complete.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vt::platform {

// Appends bytes to a file, creating it. False when it cannot be opened or written.
bool AppendToFile(const std::string& path, std::span<const std::uint8_t> bytes);
// Creates or truncates a file and writes bytes to it.
bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);
// Writes a temporary file beside the target and renames it over the target. On failure the old
// file is untouched and `error` says why.
bool ReplaceFile(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error);
// A file opened by name for reading: no link followed, no open that blocks (a FIFO), not inherited
// by child processes, and only a regular file; anything else is refused with an error naming it.
class InputFile {
public:
    enum class Links { Refuse, Follow };
    // Links::Follow only for a file the installed system places as a link (the settings file).
    explicit InputFile(const std::string& path, Links links = Links::Refuse);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    std::uint64_t size() const { return size_; }
    // Bytes read into `into` (0 at the end), or nullopt with error() set.
    std::optional<std::size_t> Read(std::span<std::uint8_t> into);

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string path_;
    std::string error_;
};

// A file written beside `path` and renamed over it once complete (Commit). Until then SIGINT and
// SIGTERM remove it before the process ends, and so does the destructor.
class ReplacementFile {
public:
    explicit ReplacementFile(const std::string& path);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    bool Write(std::span<const std::uint8_t> bytes);
    // Renames the file over the target. False with error() when any write or the rename failed.
    bool Commit();
    // Why it failed, naming the target (not the temporary name).
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::string path_;
    std::string temp_;
    std::string error_;
    bool failed_ = false;
};

// Reads a whole file of at most max_bytes; a larger one is refused with the limit in the error.
// nullopt when it cannot be read (error says why).
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path,
                                                       std::size_t max_bytes, std::string& error);
// Reads the first max_bytes of a file; `cut` says whether there was more.
std::optional<std::vector<std::uint8_t>> ReadFileHead(
    const std::string& path, std::size_t max_bytes, std::string& error, bool& cut,
    InputFile::Links links = InputFile::Links::Refuse);

// The directory of the running executable (through /proc/self/exe), with no trailing slash.
std::string ProgramDirectory();

}  // namespace vt::platform
