#pragma once
// File writing for a tool that runs as root in directories others may write to: no file is created
// through a symbolic link planted at its name, and a report replaces its old copy only once the new
// one is complete.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/native_handle.h"

namespace vt::platform {

// Appends bytes to a file, creating it. False when it cannot be opened or written.
bool AppendToFile(const std::string& path, std::span<const std::uint8_t> bytes);

// What the name of an output may stand for besides a regular file, which is replaced whole.
enum class OutputTarget {
    // A file the tool names or the user picks in a dialog (reports, dumps, the window's files):
    // only a regular file, or nothing, is at the name; anything else is refused.
    File,
    // A file an option names: also "-" for standard output, and a FIFO or character device the
    // user names (/dev/null, a pipe), written to directly as cp and sort -o do.
    FileOrStream,
};

// Writes bytes through a ReplacementFile and commits them. On failure what was at the name is
// kept and `error` says why, naming `path`.
bool ReplaceFile(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error,
                 OutputTarget target = OutputTarget::File);
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

    bool IsOpen() const { return handle_ != kNoHandle; }
    const std::string& error() const { return error_; }
    std::uint64_t size() const { return size_; }
    // Bytes read into `into` (0 at the end), or nullopt with error() set.
    std::optional<std::size_t> Read(std::span<std::uint8_t> into);

  private:
    NativeHandle handle_ = kNoHandle;
    std::uint64_t size_ = 0;
    std::string path_;
    std::string error_;
};

// The one way the tools write a file: the bytes go to a file beside `path` that is renamed over
// it once complete and on disk (Commit), so the name holds the old file or the whole new one.
// Until then SIGINT and SIGTERM remove it before the process ends, and so does the destructor.
// A symbolic link at the name is refused, never followed or replaced; the new file keeps the
// mode of the file it replaces when that was ours, else gets the umask's. With
// OutputTarget::FileOrStream, "-", a FIFO or a character device is written to directly instead.
class ReplacementFile {
  public:
    explicit ReplacementFile(const std::string& path, OutputTarget target = OutputTarget::File);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return handle_ != kNoHandle; }
    bool Write(std::span<const std::uint8_t> bytes);
    // Syncs the file and renames it over the target. False with error() when any write, the sync
    // or the rename failed; the target then holds what it held before.
    bool Commit();
    // Why it failed, naming the target (not the temporary name).
    const std::string& error() const { return error_; }

  private:
    void Fail(const std::string& reason);
    void OpenStream();
    void CreateTemporary();

    NativeHandle handle_ = kNoHandle;
    bool stream_ = false;      // handle_ is the target itself: nothing to rename
    bool owns_handle_ = true;  // false for standard output
    bool keep_mode_ = false;
    unsigned mode_ = 0;                     // the replaced file's permissions, kept when keep_mode_
    std::uint64_t device_ = 0, inode_ = 0;  // what the name held when it was looked at
    std::string path_;
    std::string temp_;
    bool watched_ = false;  // a signal removes temp_
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

// The running executable's path; empty when it cannot be read.
std::string ProgramPath();
// The directory of the running executable, with no trailing slash.
std::string ProgramDirectory();

// A new directory only this user can enter, named `prefix` and a random suffix, in the system's
// temporary directory; empty when none could be made.
std::string MakePrivateTemporaryDirectory(const std::string& prefix);

// What names one file whatever the path it is reached by (device and inode; on Windows the
// volume's serial number and the file's index); nullopt when the file cannot be examined.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};
std::optional<FileIdentity> IdentityOf(const std::string& path);

// Whether standard output / standard error is a terminal (for progress meters).
enum class StandardStream { Output, Error };
bool IsTerminal(StandardStream stream);

// While it lives, what is printed to standard output goes to standard error instead, so standard
// output can carry one document alone. ok() is false when the streams could not be switched.
class StandardOutputAside {
  public:
    StandardOutputAside();
    ~StandardOutputAside();
    StandardOutputAside(const StandardOutputAside&) = delete;
    StandardOutputAside& operator=(const StandardOutputAside&) = delete;
    bool ok() const { return saved_ != kNoHandle; }

  private:
    NativeHandle saved_ = kNoHandle;
};

}  // namespace vt::platform
