#include "tests/support/windows_calls_double.h"

#include <algorithm>
#include <array>
#include <cwctype>

#include "platform/wide_text.h"

namespace vt::test {
namespace {

using platform::kNoOsHandle;
using platform::OsHandle;
namespace err = platform::win_error;

constexpr wchar_t kDiskClass[] = L"#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

std::uint32_t Get16(const std::uint8_t* p) {
    return p[0] | p[1] << 8;
}
std::uint32_t Get32(const std::uint8_t* p) {
    return Get16(p) | Get16(p + 2) << 16;
}
std::uint64_t Get64(const std::uint8_t* p) {
    return Get32(p) | std::uint64_t{Get32(p + 4)} << 32;
}
void Set32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
bool AllZero(const std::uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring InterfaceOf(const std::string& bus, std::size_t disk) {
    const std::wstring n = std::to_wstring(disk);
    // As the system spells them: the enumerator's case varies.
    if (bus == "ide")
        return L"\\\\?\\ide#diskvantrel_ssd_" + n + L"#5&2c1a0f3e&0&" + n + L".0.0" + kDiskClass;
    if (bus == "scsi")
        return L"\\\\?\\scsi#disk&ven_ata&prod_vt5" + n + L"#4&1b7d2e9&0&00000" + n + kDiskClass;
    if (bus == "usb")
        return L"\\\\?\\USBSTOR#Disk&Ven_Vantrel&Prod_USB&Rev_1.00#0000" + n + L"&0" + kDiskClass;
    if (bus == "sbp2") return L"\\\\?\\SBP2#Vantrel&FW_Disk&LUN0#1&" + n + kDiskClass;
    return L"\\\\?\\storage#volume#" + n + kDiskClass;
}

}  // namespace

WindowsCallsDouble::WindowsCallsDouble(std::unique_ptr<platform::BenchBackend> bench)
    : bench_(std::move(bench)) {
    const auto disks = bench_->ListDisks();
    for (std::size_t i = 0; i < disks.size(); ++i)
        interfaces_.push_back(InterfaceOf(disks[i].bus, i));
}

WindowsCallsDouble::~WindowsCallsDouble() = default;

std::string WindowsCallsDouble::InterfacePathText(std::size_t disk) const {
    return platform::NarrowText(InterfacePath(disk));
}

OsHandle WindowsCallsDouble::Add(Object object) {
    const OsHandle handle = next_++;
    objects_[handle] = std::move(object);
    return handle;
}

OsHandle WindowsCallsDouble::CreateFile(const std::wstring& path, std::uint32_t access,
                                        std::uint32_t share, std::uint32_t& error) {
    if (denied_paths.count(Lower(path))) {
        error = err::kAccessDenied;
        return kNoOsHandle;
    }
    const std::wstring lower = Lower(path);
    for (std::size_t i = 0; i < interfaces_.size(); ++i) {
        if (Lower(interfaces_[i]) != lower) continue;
        last_share_ = share;
        for (const auto& [handle, object] : objects_) {
            // Only an open that asked for no access shares with an exclusive one.
            if (object.kind == Kind::Disk && object.index == static_cast<int>(i) && access != 0 &&
                (share == 0 || object.share == 0)) {
                error = err::kSharingViolation;
                return kNoOsHandle;
            }
        }
        const int bench_handle = access != 0 ? bench_->Open(bench_->ListDisks()[i].path) : -1;
        if (access != 0 && bench_handle < 0) {
            error = err::kNoSuchDevice;
            return kNoOsHandle;
        }
        return Add({Kind::Disk, static_cast<int>(i), bench_handle, access != 0 ? share : 3, {}});
    }
    if (path.size() == 6 && path.starts_with(L"\\\\.\\") && path[5] == L':') {
        const std::wstring root =
            std::wstring(1, static_cast<wchar_t>(std::towupper(path[4]))) + L":\\";
        for (std::size_t v = 0; v < volumes.size(); ++v) {
            const auto& mounts = volumes[v].mount_paths;
            if (std::find(mounts.begin(), mounts.end(), root) != mounts.end())
                return Add({Kind::Letter, static_cast<int>(v), -1, share, {}});
        }
    }
    for (std::size_t v = 0; v < volumes.size(); ++v) {
        const std::wstring& name = volumes[v].name;
        if (path == name)
            Violation("a volume opened with its trailing backslash (its root folder)");
        if (path + L"\\" == name) return Add({Kind::Volume, static_cast<int>(v), -1, share, {}});
    }
    error = err::kFileNotFound;
    return kNoOsHandle;
}

void WindowsCallsDouble::CloseHandle(OsHandle handle) {
    const auto it = objects_.find(handle);
    if (it == objects_.end()) {
        Violation("closed a handle that is not open");
        return;
    }
    if (it->second.bench_handle >= 0) bench_->Close(it->second.bench_handle);
    objects_.erase(it);
}

bool WindowsCallsDouble::DeviceIoControl(OsHandle handle, std::uint32_t code,
                                         std::span<const std::uint8_t> in,
                                         std::span<std::uint8_t> out, std::uint32_t& returned,
                                         std::uint32_t& error) {
    returned = 0;
    const auto it = objects_.find(handle);
    if (it == objects_.end()) {
        Violation("a request on a handle that is not open");
        error = err::kInvalidHandle;
        return false;
    }
    Object& object = it->second;
    const auto number = [&](std::uint32_t disk, std::uint32_t partition) {
        if (!in.empty() || out.size() < 12) Violation("device number: 12 bytes out, none in");
        if (out.size() < 12) {
            error = err::kInsufficientBuffer;
            return false;
        }
        Set32(out.data(), 7);  // FILE_DEVICE_DISK
        Set32(out.data() + 4, disk);
        Set32(out.data() + 8, partition);
        returned = 12;
        return true;
    };
    switch (object.kind) {
        case Kind::Disk:
            if (code == 0x2D1080) return number(static_cast<std::uint32_t>(object.index), 0);
            if (object.bench_handle < 0) break;  // opened for queries only
            if (code == 0x4D02C) return Ata(object, in, out, returned, error);
            if (code == 0x4D014) return Scsi(object, in, out, returned, error);
            if (code == 0x7C088) return Smart(object, in, out, returned, error);
            break;
        case Kind::Letter:
            if (code == 0x2D1080)
                return number(volumes[static_cast<std::size_t>(object.index)].disks.at(0), 1);
            break;
        case Kind::Volume: {
            auto& volume = volumes[static_cast<std::size_t>(object.index)];
            if (code == 0x560000 && volume.extents_error != 0) {
                error = volume.extents_error;
                return false;
            }
            if (code == 0x560000) {
                const std::size_t fits = out.size() < 8 ? 0 : (out.size() - 8) / 24;
                if (out.size() < 8) break;
                std::fill(out.begin(), out.end(), 0);
                Set32(out.data(), static_cast<std::uint32_t>(volume.disks.size()));
                const std::size_t written = std::min(fits, volume.disks.size());
                for (std::size_t e = 0; e < written; ++e)
                    Set32(out.data() + 8 + 24 * e, volume.disks[e]);
                returned = static_cast<std::uint32_t>(8 + 24 * written);
                if (written < volume.disks.size()) {
                    error = err::kMoreData;
                    return false;
                }
                return true;
            }
            if (code == 0x90018) {
                if (!volume.lockable || volume.locked) {
                    error = err::kAccessDenied;
                    return false;
                }
                volume.locked = true;
                return true;
            }
            if (code == 0x9001C) {
                if (!volume.locked) Violation("unlocked a volume that was not locked");
                volume.locked = false;
                return true;
            }
            break;
        }
        default:
            break;
    }
    error = err::kInvalidFunction;
    return false;
}

bool WindowsCallsDouble::Ata(Object& disk, std::span<const std::uint8_t> in,
                             std::span<std::uint8_t> out, std::uint32_t& returned,
                             std::uint32_t& error) {
    ++ata_requests_;
    if (in.data() != out.data() || in.size() != out.size()) Violation("ATA: input is not output");
    if (in.size() < 48) {
        Violation("ATA: shorter than its header");
        error = err::kInvalidParameter;
        return false;
    }
    std::uint8_t* h = out.data();
    last_ata_.assign(h, h + 48);
    const std::uint32_t flags = Get16(h + 2);
    std::uint32_t length = Get32(h + 8);
    if (Get16(h) != 48) Violation("ATA: Length is not 48");
    if (!AllZero(h + 4, 4)) Violation("ATA: PathId, TargetId, Lun or the reserved byte set");
    if (Get32(h + 12) == 0) Violation("ATA: no time-out");
    if (!AllZero(h + 16, 8)) Violation("ATA: reserved bytes set");
    if (Get64(h + 24) != 48) Violation("ATA: the data does not follow the header");
    if (length > 65536 || in.size() != 48 + std::size_t{length})
        Violation("ATA: buffer size is not header + DataTransferLength");
    if (flags & ~0x1Fu) Violation("ATA: unknown flags");
    const bool data_in = flags & 0x02, data_out = flags & 0x04;
    if (length == 0 && (flags & ~0x08u)) Violation("ATA: flags on a command without data");
    if (length != 0 && (!(flags & 0x01) || data_in == data_out))
        Violation("ATA: a transfer without DRDY and one direction");
    const std::uint8_t command = h[46];
    if ((command == 0x86 && data_in && !(flags & 0x10)) ||
        (command == 0x88 && data_out && !(flags & 0x10)))
        Violation("ATA: a DMA carrier command without the DMA flag");
    if (!(flags & 0x08) && !AllZero(h + 32, 8))
        Violation("ATA: previous registers of a 28-bit command");
    if (!AllZero(h + 37, 3) || h[47] != 0) Violation("ATA: reserved task-file bytes set");
    if (ata_failure) {
        error = *ata_failure;
        ata_failure.reset();
        return false;
    }
    length = std::min<std::uint32_t>(length, static_cast<std::uint32_t>(in.size() - 48));

    platform::AtaRequest request;
    std::copy_n(h + 40, 8, request.task_file.begin());
    request.extended = flags & 0x08;
    std::copy_n(h + 32, 5, request.previous.begin());
    request.direction = length == 0 ? platform::Direction::None
                        : data_in   ? platform::Direction::In
                                    : platform::Direction::Out;
    request.dma = flags & 0x10;
    request.data = std::span<std::uint8_t>(h + 48, length);
    std::array<std::uint8_t, 32> sense{};
    request.sense = sense;
    request.timeout_ms = Get32(h + 12) * 1000;
    if (bench_->AtaPassThrough(disk.bench_handle, request) != 0 || request.refused ||
        request.outcome.transport != platform::Transport::Delivered) {
        error = request.outcome.transport == platform::Transport::TimedOut ? err::kSemTimeout
                                                                           : err::kIoDevice;
        return false;
    }
    std::copy(request.registers.begin(), request.registers.end(), h + 40);
    returned = static_cast<std::uint32_t>(48 + length);
    return true;
}

bool WindowsCallsDouble::Scsi(Object& disk, std::span<const std::uint8_t> in,
                              std::span<std::uint8_t> out, std::uint32_t& returned,
                              std::uint32_t& error) {
    if (in.data() != out.data() || in.size() != out.size()) Violation("SCSI: input is not output");
    if (in.size() < 56) {
        Violation("SCSI: shorter than its header");
        error = err::kInvalidParameter;
        return false;
    }
    std::uint8_t* h = out.data();
    last_scsi_.assign(h, h + in.size());
    const std::uint32_t cdb_length = h[6], sense_length = h[7], direction = h[8];
    const std::uint32_t length = Get32(h + 12), sense_offset = Get32(h + 32);
    const auto buffer = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(Get64(h + 24)));
    if (Get16(h) != 56) Violation("SCSI: Length is not 56");
    if (h[2] != 0 || h[3] != 0 || h[4] != 1 || h[5] != 0)
        Violation("SCSI: ScsiStatus, PathId, TargetId 1 or Lun wrong");
    if (cdb_length == 0 || cdb_length > 16) Violation("SCSI: CdbLength out of range");
    if (!AllZero(h + 36 + std::min<std::uint32_t>(cdb_length, 16),
                 16 - std::min<std::uint32_t>(cdb_length, 16)))
        Violation("SCSI: command block bytes past CdbLength");
    if (!AllZero(h + 9, 3) || !AllZero(h + 20, 4) || !AllZero(h + 52, 4))
        Violation("SCSI: padding set");
    if (Get32(h + 16) == 0) Violation("SCSI: no time-out");
    if (direction > 2 || (direction == 2) != (length == 0) || (buffer != nullptr) != (length != 0))
        Violation("SCSI: DataIn, DataTransferLength and DataBuffer disagree");
    if (sense_length != 0 && (sense_offset < 56 || sense_offset + sense_length > in.size()))
        Violation("SCSI: sense area outside the request");

    platform::ScsiRequest request;
    request.SetCdb({h + 36, std::min<std::uint32_t>(cdb_length, 16)});
    request.direction = length == 0      ? platform::Direction::None
                        : direction == 1 ? platform::Direction::In
                                         : platform::Direction::Out;
    if (length != 0 && buffer != nullptr) request.data = std::span<std::uint8_t>(buffer, length);
    std::array<std::uint8_t, 255> sense{};
    request.sense = std::span<std::uint8_t>(sense.data(), sense_length);
    request.timeout_ms = Get32(h + 16) * 1000;
    if (bench_->ScsiPassThrough(disk.bench_handle, request) != 0 ||
        request.outcome.transport != platform::Transport::Delivered) {
        error = request.outcome.transport == platform::Transport::TimedOut ? err::kSemTimeout
                                                                           : err::kIoDevice;
        return false;
    }
    h[2] = request.outcome.scsi_status;
    const auto written = static_cast<std::uint8_t>(
        std::min<std::size_t>(request.outcome.sense_length, sense_length));
    std::copy_n(sense.begin(), written, h + sense_offset);
    h[7] = written;
    Set32(h + 12, length - std::min(request.outcome.residue, length));
    returned = static_cast<std::uint32_t>(in.size());
    return true;
}

bool WindowsCallsDouble::Smart(Object& disk, std::span<const std::uint8_t> in,
                               std::span<std::uint8_t> out, std::uint32_t& returned,
                               std::uint32_t& error) {
    if (in.size() != 32 || out.size() != 16 + 512) Violation("SMART: not 32 bytes in, 528 out");
    if (in.size() < 13 || out.size() < 16 + 512) {
        error = err::kInvalidParameter;
        return false;
    }
    const std::uint8_t* r = in.data() + 4;
    if (Get32(in.data()) != 512) Violation("SMART: buffer size is not 512");
    if (r[0] != 0 || r[1] != 1 || r[2] != 0 || r[3] != 0 || r[4] != 0 || (r[5] & 0xEF) != 0xA0 ||
        r[6] != 0xEC)
        Violation("SMART: not the IDENTIFY DEVICE registers");
    if (((r[5] & 0x10) != 0) != ((in[12] & 1) != 0))
        Violation("SMART: DEV bit and drive number disagree");
    platform::AtaRequest request;
    request.task_file = {0, 1, 0, 0, 0, r[5], 0xEC, 0};
    request.direction = platform::Direction::In;
    request.data = out.subspan(16, 512);
    request.timeout_ms = 10000;
    std::fill(out.begin(), out.end(), 0);
    if (bench_->AtaPassThrough(disk.bench_handle, request) != 0 ||
        request.outcome.transport != platform::Transport::Delivered) {
        error = err::kIoDevice;
        return false;
    }
    Set32(out.data(), 512);
    if (!request.RanWithoutError()) {
        out[4] = 1;  // SMART_IDE_ERROR
        out[5] = request.registers[0];
    }
    returned = 16 + 512;
    return true;
}

OsHandle WindowsCallsDouble::OpenDiskInterfaces() {
    if (no_device_set) return kNoOsHandle;
    return Add({Kind::Set, -1, -1, 0, {}});
}

std::optional<std::wstring> WindowsCallsDouble::DiskInterfacePath(OsHandle set,
                                                                  std::uint32_t index) {
    if (!objects_.count(set) || objects_[set].kind != Kind::Set)
        Violation("enumerated without a set");
    if (index >= interfaces_.size() || (detail_fails_at && index == *detail_fails_at))
        return std::nullopt;
    return interfaces_[index];
}

void WindowsCallsDouble::CloseDiskInterfaces(OsHandle set) {
    CloseHandle(set);
}

std::uint32_t WindowsCallsDouble::LocateRootDevNode(std::uint32_t& node) {
    node = 1;
    return locate_result;
}

std::uint32_t WindowsCallsDouble::ReenumerateDevNode(std::uint32_t node) {
    if (node != 1) Violation("re-enumerated another node than the root");
    rescanned_ = reenumerate_result == 0;
    return reenumerate_result;
}

std::uint32_t WindowsCallsDouble::LogicalDrives() {
    std::uint32_t mask = 0;
    auto add = [&](wchar_t letter) {
        letter = static_cast<wchar_t>(std::towupper(letter));
        if (letter >= L'A' && letter <= L'Z') mask |= 1u << (letter - L'A');
    };
    if (!windows_directory.empty()) add(windows_directory[0]);
    for (const auto& volume : volumes) {
        for (const auto& mount : volume.mount_paths) {
            if (mount.size() == 3 && mount[1] == L':') add(mount[0]);
        }
    }
    return mask;
}

OsHandle WindowsCallsDouble::FindFirstVolume(std::wstring& name) {
    if (volumes.empty()) return kNoOsHandle;
    name = volumes[0].name;
    return Add({Kind::Search, 1, -1, 0, {}});
}

bool WindowsCallsDouble::FindNextVolume(OsHandle search, std::wstring& name) {
    auto& object = objects_.at(search);
    if (object.index >= static_cast<int>(volumes.size())) return false;
    name = volumes[static_cast<std::size_t>(object.index++)].name;
    return true;
}

void WindowsCallsDouble::FindVolumeClose(OsHandle search) {
    CloseHandle(search);
}

std::optional<std::vector<std::wstring>> WindowsCallsDouble::VolumePathNames(
    const std::wstring& volume) {
    for (const auto& v : volumes) {
        if (v.name == volume) return v.mount_paths;
    }
    return std::nullopt;
}

OsHandle WindowsCallsDouble::CreateMutex(const std::wstring& name, std::uint32_t& error) {
    if (!name.starts_with(L"Global\\") || name.find(L'\\', 7) != std::wstring::npos) {
        Violation("a mutex name outside the global namespace or with a backslash");
        error = err::kInvalidName;
        return kNoOsHandle;
    }
    return Add({Kind::Mutex, -1, -1, 0, name});
}

platform::WaitResult WindowsCallsDouble::WaitFor(OsHandle handle, std::uint32_t wait_ms) {
    const auto& object = objects_.at(handle);
    if (foreign_mutexes.count(object.name)) {
        bench_->SleepMs(wait_ms);
        return platform::WaitResult::TimedOut;
    }
    ++mutex_owners_[object.name];
    return platform::WaitResult::Acquired;
}

void WindowsCallsDouble::ReleaseMutex(OsHandle handle) {
    const auto& object = objects_.at(handle);
    if (--mutex_owners_[object.name] < 0) Violation("released a mutex not held");
}

}  // namespace vt::test
