// What uses a disk on Linux, and the exclusive hold that keeps it unused while the self-test
// writes: the kernel's own answer is the exclusive open; sysfs and /proc only name what holds it.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/linux_backend.h"

namespace vt::platform {
namespace {

namespace fs = std::filesystem;

// A mount table of a busy container host runs to megabytes; nothing sane is longer.
constexpr std::size_t kMaxProcText = 16 * 1024 * 1024;

std::string ReadFirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string ReadProcText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char chunk[65536];
    while (in && text.size() < kMaxProcText) {
        in.read(chunk, sizeof chunk);
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    return text;
}

// The holders of a block device, a device-mapper one with the name its tools gave it.
std::vector<std::string> HoldersOf(const fs::path& device_dir, const fs::path& class_block) {
    std::vector<std::string> holders;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(device_dir / "holders", ec)) {
        const std::string name = entry.path().filename().string();
        const std::string mapped = ReadFirstLine(class_block / name / "dm" / "name");
        holders.push_back(mapped.empty() ? name : name + " (" + mapped + ")");
    }
    std::sort(holders.begin(), holders.end());
    return holders;
}

BlockNode NodeAt(const fs::path& device_dir, const fs::path& class_block) {
    return {device_dir.filename().string(), ReadFirstLine(device_dir / "dev"),
            HoldersOf(device_dir, class_block)};
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
        fields.push_back(line.substr(start, end - start));
        at = end;
    }
    return fields;
}

// The kernel writes blanks and backslashes of a path as octal escapes (\040, \134); those come
// back, every other escape (a control character) stays as written.
std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && text.substr(i, 4) == "\\040") {
            out += ' ';
            i += 3;
        } else if (text[i] == '\\' && text.substr(i, 4) == "\\134") {
            out += '\\';
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

template <typename Each>
void EachLine(std::string_view text, Each each) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        each(text.substr(at, end - at));
        at = end + 1;
    }
}

}  // namespace

BlockDisk ReadBlockDisk(const std::string& sys_root, const std::string& number) {
    const fs::path class_block = fs::path(sys_root) / "class" / "block";
    std::error_code ec;
    fs::path dir = fs::canonical(fs::path(sys_root) / "dev" / "block" / number, ec);
    if (ec) return {};
    if (fs::exists(dir / "partition", ec)) dir = dir.parent_path();
    BlockDisk disk;
    disk.disk = NodeAt(dir, class_block);
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (fs::exists(entry.path() / "partition", ec))
            disk.partitions.push_back(NodeAt(entry.path(), class_block));
    }
    std::sort(disk.partitions.begin(), disk.partitions.end(),
              [](const BlockNode& a, const BlockNode& b) { return NodeNameLess(a.name, b.name); });
    return disk;
}

DiskUse DiskUseFrom(const BlockDisk& disk, std::string_view mountinfo, std::string_view swaps) {
    DiskUse use;
    std::vector<const BlockNode*> nodes = {&disk.disk};
    for (const auto& partition : disk.partitions) {
        nodes.push_back(&partition);
        use.partitions.push_back("/dev/" + partition.name);
    }
    if (disk.disk.name.empty()) return use;

    // mountinfo: ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - TYPE SOURCE ...
    EachLine(mountinfo, [&](std::string_view line) {
        const auto f = Fields(line);
        const auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 6 || dash == f.end() || f.end() - dash < 3) return;
        const std::string_view source = *(dash + 2);
        for (const BlockNode* node : nodes) {
            const std::string device = "/dev/" + node->name;
            // Btrfs and a few others report a number of their own, but name their source.
            if (f[2] == node->number || source == device) {
                use.users.push_back({DiskUser::Kind::Mount, device, Unescape(f[4])});
                break;
            }
        }
    });
    // swaps: a header line, then FILENAME TYPE SIZE USED PRIORITY.
    bool header = true;
    EachLine(swaps, [&](std::string_view line) {
        if (std::exchange(header, false)) return;
        const auto f = Fields(line);
        if (f.empty()) return;
        const std::string file = Unescape(f[0]);
        for (const BlockNode* node : nodes) {
            if (file == "/dev/" + node->name) use.users.push_back({DiskUser::Kind::Swap, file, ""});
        }
    });
    for (const BlockNode* node : nodes) {
        for (const auto& holder : node->holders)
            use.users.push_back({DiskUser::Kind::Holder, "/dev/" + node->name, holder});
    }
    return use;
}

DiskUse LinuxBackend::DescribeUse(const std::string& path) {
    struct stat st {};
    if (::stat(NodeOfPath(path).c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
    const std::string number =
        std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    return DiskUseFrom(ReadBlockDisk("/sys", number), ReadProcText("/proc/self/mountinfo"),
                       ReadProcText("/proc/swaps"));
}

int LinuxBackend::HoldForWriting(const std::string& path) {
    const std::string node = NodeOfPath(path);
    if (node.empty()) return -ENOENT;
    // Read-only, so that its close sends udev no change event; exclusive all the same.
    const int fd = ::open(node.c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -errno;
    // O_EXCL without O_CREAT excludes others only on a block device.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode)) {
        ::close(fd);
        return -ENOTBLK;
    }
    return fd;
}

void LinuxBackend::ReleaseHold(int hold) {
    ::close(hold);
}

}  // namespace vt::platform
