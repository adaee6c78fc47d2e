#include <algorithm>
#include <cerrno>
#include <span>

#include "access/request_outcome.h"
#include "capture/recorder.h"
#include "platform/byte_order.h"
#include "sim/bytes.h"
#include "vendor/carrier.h"
#include "vendor/catalogue.h"
#include "vendor/loader_mode.h"

namespace vt::capture {
namespace {

using sim::Bytes;
using Block = std::array<std::uint8_t, 16>;

constexpr std::uint8_t kAtaPassThrough16 = 0x85;
constexpr std::uint8_t kAtaPassThrough12 = 0xA1;
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kReadCapacity10 = 0x25;
constexpr std::uint8_t kReadCapacity16 = 0x9E;
constexpr std::uint8_t kIdentify = 0xEC;
constexpr std::uint8_t kSmart = 0xB0;
constexpr std::uint8_t kSmartReadData = 0xD0;
constexpr std::uint8_t kSmartReadThresholds = 0xD1;
constexpr std::uint8_t kSetFeatures = 0xEF;
constexpr std::uint8_t kVendorUnlock = 0xDC;

// Sub-commands that only read, by route; the code loading ones pass only when allowed.
constexpr std::uint8_t kCarrierReadCodes[] = {subcmd::ReadBadBlockTable, subcmd::ReadEraseCount,
                                              subcmd::ReadSystemPage,    subcmd::ReadSpiFlash,
                                              subcmd::ReadDramLayout,    subcmd::ReadRegister,
                                              subcmd::ReadMemory,        subcmd::ReadFlashPage};
constexpr std::uint8_t kDirectReadCodes[] = {
    subcmd::ReadBadBlockTable, subcmd::ReadEraseCount, subcmd::ReadSystemPage, subcmd::ReadSmartUsb,
    subcmd::ReadRegister,      subcmd::ReadMemory,     subcmd::ReadFlashPage};
constexpr std::uint8_t kCodeLoadCodes[] = {subcmd::JumpToPRAM, subcmd::SwitchMode,
                                           subcmd::WriteMemory};

// ATA commands that read (or only ask), and SCSI commands that do.
constexpr std::uint8_t kReadingAta[] = {0x20, 0x21, 0x24, 0x25, 0x29, 0x2F, 0xC4,
                                        0xC8, 0xE5, 0xEC, 0xA1, 0x40, 0x42};
constexpr std::uint8_t kReadingSmart[] = {0xD0, 0xD1, 0xD5, 0xD8, 0xDA};
constexpr std::uint8_t kReadingScsi[] = {0x00, 0x03, 0x12, 0x1A, 0x25, 0x28,
                                         0x5A, 0x88, 0x9E, 0xA0, 0x4D};

bool In(std::uint8_t value, std::span<const std::uint8_t> set) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

struct AtaTaskFile {
    std::uint8_t features = 0, count = 0, lba_low = 0, lba_mid = 0, lba_high = 0, command = 0;
};

std::optional<AtaTaskFile> TaskFileOf(std::span<const std::uint8_t> cdb) {
    if (cdb.empty()) return std::nullopt;
    if (cdb[0] == kAtaPassThrough16 && cdb.size() >= 16)
        return AtaTaskFile{cdb[4], cdb[6], cdb[8], cdb[10], cdb[12], cdb[14]};
    if (cdb[0] == kAtaPassThrough12 && cdb.size() >= 12)
        return AtaTaskFile{cdb[3], cdb[4], cdb[5], cdb[6], cdb[7], cdb[9]};
    return std::nullopt;
}

// The carrier's write (or read) opcode in any of its modes.
bool IsCarrierOpcode(std::uint8_t command, bool write) {
    for (std::uint8_t mode = 0; mode <= 2; ++mode) {
        const CarrierOpcodes opcodes = CarrierOpcodesFor(mode);
        if (command == (write ? opcodes.write_opcode : opcodes.read_opcode)) return true;
    }
    return false;
}

bool IsCarrier(const AtaTaskFile& tf) {
    return tf.lba_high == kCarrierLbaHigh && tf.lba_mid == kCarrierLbaMid &&
           (IsCarrierOpcode(tf.command, true) || IsCarrierOpcode(tf.command, false));
}

// What one request is, as far as the recording cares.
struct Request {
    enum class Kind { Scsi, Ata, CommandSector, StatusSector, DataPhase, Direct } kind = Kind::Scsi;
    std::span<const std::uint8_t> cdb;
    AtaTaskFile tf;
    Block block{};  // command sector or direct block
    bool data_out = false;
    std::span<std::uint8_t> data;
};

// The vendor protocol's reading of an ATA command, whichever way it travelled.
void ClassifyAta(Request& r) {
    r.kind = Request::Kind::Ata;
    if (!IsCarrier(r.tf)) return;
    if (r.tf.lba_low != kCarrierCommandLba) {
        r.kind = Request::Kind::DataPhase;
    } else if (IsCarrierOpcode(r.tf.command, true) && r.data_out) {
        r.kind = Request::Kind::CommandSector;
        std::copy_n(r.data.begin(), std::min<std::size_t>(r.data.size(), 16), r.block.begin());
    } else {
        r.kind = Request::Kind::StatusSector;
    }
}

Request Classify(const platform::ScsiRequest& request) {
    Request r;
    r.cdb = request.Cdb();
    r.data_out = request.direction == platform::Direction::Out;
    if (request.direction != platform::Direction::None) r.data = request.data;
    if (r.cdb.empty()) return r;
    if (r.cdb[0] == kVendorBlockMarker) {
        r.kind = Request::Kind::Direct;
        std::copy_n(r.cdb.begin(), std::min<std::size_t>(r.cdb.size(), 16), r.block.begin());
        return r;
    }
    const auto tf = TaskFileOf(r.cdb);
    if (!tf) return r;
    r.tf = *tf;
    ClassifyAta(r);
    return r;
}

Request Classify(const platform::AtaRequest& request) {
    Request r;
    const platform::TaskFile& tf = request.task_file;
    r.tf = AtaTaskFile{tf[0], tf[1], tf[2], tf[3], tf[4], tf[platform::kTaskCommand]};
    r.data_out = request.direction == platform::Direction::Out;
    if (request.direction != platform::Direction::None) r.data = request.data;
    ClassifyAta(r);
    return r;
}

// Why a request must not reach the drive; empty when it only reads.
std::string WriteReason(const Request& r, bool code_load, const DriveRecording& drive) {
    const auto vendor_code = [&](std::uint8_t code, std::span<const std::uint8_t> reads) {
        if (In(code, reads) || (code_load && In(code, kCodeLoadCodes))) return std::string();
        return "vendor sub-command " + sim::HexByte(code) + "h";
    };
    switch (r.kind) {
        case Request::Kind::Scsi:
            return In(r.cdb[0], kReadingScsi) ? "" : "SCSI command " + sim::HexByte(r.cdb[0]) + "h";
        case Request::Kind::Ata:
            if (r.tf.command == kSmart)
                return In(r.tf.features, kReadingSmart)
                           ? ""
                           : "SMART feature " + sim::HexByte(r.tf.features) + "h";
            if (r.tf.command == kSetFeatures)
                return r.tf.features == kVendorUnlock ? "" : "SET FEATURES";
            return In(r.tf.command, kReadingAta)
                       ? ""
                       : "ATA command " + sim::HexByte(r.tf.command) + "h";
        case Request::Kind::CommandSector:
            if (r.block[0] != kVendorBlockMarker || r.block[1] != kRouteCarrier)
                return "a malformed command sector";
            return vendor_code(r.block[2], kCarrierReadCodes);
        case Request::Kind::StatusSector:
            return "";
        case Request::Kind::DataPhase:
            if (!r.data_out) return "";
            if (code_load && drive.pending && (*drive.pending)[2] == subcmd::WriteMemory &&
                r.tf.lba_low == subcmd::WriteMemory) {
                return "";
            }
            return "a carrier data write";
        case Request::Kind::Direct:
            return vendor_code(r.block[2], kDirectReadCodes);
    }
    return "";
}

sim::Bytes Take(std::span<const std::uint8_t> data, std::size_t n) {
    n = std::min(n, data.size());
    return Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
}

bool Overlaps(const DriveRecording& drive, std::uint8_t space, std::uint64_t first,
              std::uint64_t size) {
    const auto it = drive.written.find(space);
    if (it == drive.written.end()) return false;
    return std::any_of(it->second.begin(), it->second.end(), [&](const auto& range) {
        return first < range.first + range.second && range.first < first + size;
    });
}

void ChangeMode(DriveRecording& drive, const Block& block) {
    if (block[2] == subcmd::JumpToPRAM) drive.mode = RecordedMode::Program;
    if (block[2] != subcmd::SwitchMode) return;
    if (block[3] == 0 || block[3] == 10) drive.mode = RecordedMode::Loader;
    if (block[3] == 1 || block[3] == 2) drive.mode = RecordedMode::Firmware;
}

// The answer of a vendor sub-command that reads, filed under its raw key.
void KeepVendorAnswer(DriveRecording& drive, const Block& b, bool carrier,
                      std::span<const std::uint8_t> data) {
    sim::RawDrive& raw = drive.raw;
    switch (b[2]) {
        case subcmd::ReadBadBlockTable:
            raw.bad_unit_lists[{b[3], b[4]}] = Take(data, data.size());
            break;
        case subcmd::ReadEraseCount:
            raw.erase_counts[{b[3], b[4]}] = Take(data, data.size());
            break;
        case subcmd::ReadSystemPage:
            raw.system_pages[{b[4], Be16(b, 5), Be16(b, 7)}].Write(Be32(b, 12), data);
            break;
        case subcmd::ReadSmartUsb:  // on the carrier the same code resets the counters
            if (!carrier) raw.smart_usb = Take(data, kSectorSize);
            break;
        case subcmd::ReadSpiFlash:
            if (!raw.spi_flash) raw.spi_flash.emplace();
            raw.spi_flash->Write(Be32(b, 3), Take(data, Be32(b, 7)));
            break;
        case subcmd::ReadDramLayout:
            raw.dram_layout = Take(data, data.size());
            break;
        case subcmd::ReadRegister: {
            // Through a command sector the answer carries the route mark before the value.
            const std::size_t at = carrier ? 1 : 0;
            if (data.size() > at) raw.registers[Be32(b, 3)] = data[at];
            break;
        }
        case subcmd::ReadMemory: {
            // Program RAM the capture loaded itself is no part of the drive.
            const std::uint32_t address = Be32(b, 4);
            if (!Overlaps(drive, b[3], address, data.size())) raw.memory[b[3]].Write(address, data);
            break;
        }
        case subcmd::WriteMemory:
            drive.written[b[3]].emplace_back(Be32(b, 4), data.size());
            return;
        case subcmd::ReadFlashPage:
            raw.flash_pages[{b[3], b[4], Be16(b, 5), Be16(b, 7)}] = Take(data, data.size());
            break;
        default:
            return;
    }
    ++drive.answers;
}

void NoteFirstAnswer(DriveRecording& drive, bool loader) {
    if (drive.mode != RecordedMode::Unknown) return;
    drive.mode = loader ? RecordedMode::Loader : RecordedMode::Firmware;
    drive.initial_mode = drive.mode;
}

void KeepAnswer(DriveRecording& drive, const Request& r, std::span<const std::uint8_t> moved) {
    sim::RawDrive& raw = drive.raw;
    switch (r.kind) {
        case Request::Kind::Scsi:
            if (r.cdb[0] == kInquiry && r.cdb.size() >= 2 && (r.cdb[1] & 0x01) == 0) {
                // Only an older bridge's loader tells itself by its INQUIRY; an ATA disk's mode
                // shows in its IDENTIFY.
                if (IsUsbLoaderInquiry(moved)) NoteFirstAnswer(drive, true);
                drive.inquiries.emplace_back(drive.mode, Take(moved, moved.size()));
                ++drive.answers;
            } else if (r.cdb[0] == kReadCapacity10 && moved.size() >= 8) {
                const std::uint32_t last = Be32(moved, 0);
                if (last != 0xFFFFFFFFu) raw.capacity_sectors = std::uint64_t{last} + 1;
                ++drive.answers;
            } else if (r.cdb[0] == kReadCapacity16 && moved.size() >= 8) {
                // Asked when the short form saturates: the last LBA in full.
                const std::uint64_t last = std::uint64_t{Be32(moved, 0)} << 32 | Be32(moved, 4);
                if (last < 0xFFFFFFFFFFFFull) raw.capacity_sectors = last + 1;
                ++drive.answers;
            }
            return;
        case Request::Kind::Ata:
            if (r.tf.command == kIdentify && moved.size() >= kSectorSize) {
                NoteFirstAnswer(drive, IsLoaderIdentify(moved));
                (drive.mode == RecordedMode::Firmware ? raw.identify : raw.loader_identify) =
                    Take(moved, kSectorSize);
                ++drive.answers;
            } else if (r.tf.command == kSmart && moved.size() >= kSectorSize) {
                if (r.tf.features == kSmartReadData) raw.smart_data = Take(moved, kSectorSize);
                if (r.tf.features == kSmartReadThresholds)
                    raw.smart_thresholds = Take(moved, kSectorSize);
                ++drive.answers;
            } else if (r.tf.command == kSetFeatures && r.tf.features == kVendorUnlock) {
                drive.vendor_answered = true;
            }
            return;
        case Request::Kind::StatusSector:
            raw.status_sector = Take(moved, kSectorSize);
            drive.vendor_answered = true;
            ++drive.answers;
            return;
        case Request::Kind::CommandSector:
            drive.vendor_answered = true;
            drive.pending = r.block;
            drive.pending_index = drive.vendor_seen[r.block[2]] - 1;
            ChangeMode(drive, r.block);
            return;
        case Request::Kind::DataPhase:
            if (drive.pending && (*drive.pending)[2] == r.tf.lba_low)
                KeepVendorAnswer(drive, *drive.pending, true, moved);
            drive.pending.reset();
            return;
        case Request::Kind::Direct:
            drive.vendor_answered = true;
            ChangeMode(drive, r.block);
            KeepVendorAnswer(drive, r.block, false, moved);
            return;
    }
}

// The fault entry that fails this request again on replay. Vendor commands are named by their
// sub-command, which does not depend on the carrier mode the scan of other disks left behind.
sim::RawFault FaultFor(DriveRecording& drive, const Request& r, const char* effect) {
    sim::RawFault fault;
    fault.effect = effect;
    switch (r.kind) {
        case Request::Kind::Scsi:
            fault.op = "scsi:" + sim::HexByte(r.cdb[0]);
            fault.skip = drive.scsi_seen[r.cdb[0]] - 1;
            break;
        case Request::Kind::Ata:
        case Request::Kind::StatusSector:
            fault.op = "ata:" + sim::HexByte(r.tf.command);
            fault.skip = drive.ata_seen[r.tf.command] - 1;
            break;
        case Request::Kind::CommandSector:
        case Request::Kind::Direct:
            fault.op = "vendor:" + sim::HexByte(r.block[2]);
            fault.skip = drive.vendor_seen[r.block[2]] - 1;
            break;
        case Request::Kind::DataPhase:
            if (drive.pending) {
                // Failing the command sector ends the vendor command at the same point for the
                // tool: its wrapper reports the failure either way.
                fault.op = "vendor:" + sim::HexByte((*drive.pending)[2]);
                fault.skip = drive.pending_index;
                // The command sector is replayed as failed, so its success is not a fact here.
            } else {
                fault.op = "ata:" + sim::HexByte(r.tf.command);
                fault.skip = drive.ata_seen[r.tf.command] - 1;
            }
            break;
    }
    return fault;
}

void Count(DriveRecording& drive, const Request& r) {
    switch (r.kind) {
        case Request::Kind::Scsi:
            ++drive.scsi_seen[r.cdb[0]];
            return;
        case Request::Kind::CommandSector:
            ++drive.ata_seen[r.tf.command];
            if (r.block[0] == kVendorBlockMarker && r.block[1] == kRouteCarrier)
                ++drive.vendor_seen[r.block[2]];
            return;
        case Request::Kind::Direct:
            ++drive.vendor_seen[r.block[2]];
            return;
        default:
            ++drive.ata_seen[r.tf.command];
            return;
    }
}

// How a forwarded request ended, as far as the recording cares.
struct Ending {
    int error = 0;  // the backend's errno value
    bool timed_out = false;
    bool succeeded = false;
    std::uint32_t residue = 0;
};

// Passes one classified request on through `send` unless it would change the drive, and keeps
// what came back: the answer of a read, or the fault that fails it again on replay.
template <typename Send>
int RecordRequest(DriveRecording& drive, const Request& r, bool code_load, Send send) {
    if (const std::string reason = WriteReason(r, code_load, drive); !reason.empty()) {
        drive.refused.push_back(reason);
        return EPERM;
    }
    Count(drive, r);
    drive.vendor_asked = drive.vendor_asked || r.kind == Request::Kind::CommandSector ||
                         r.kind == Request::Kind::Direct ||
                         (r.kind == Request::Kind::Ata && r.tf.command == kSetFeatures);
    const Ending ending = send();
    if (ending.error == ENODEV || ending.timed_out || (ending.error == 0 && !ending.succeeded)) {
        const char* effect = ending.error == ENODEV ? "gone"
                             : ending.timed_out     ? "timeout"
                                                    : "fail";
        drive.raw.faults.push_back(FaultFor(drive, r, effect));
        ++drive.failures;
        if (r.kind == Request::Kind::CommandSector || r.kind == Request::Kind::DataPhase)
            drive.pending.reset();
        return ending.error;
    }
    if (ending.error != 0) return ending.error;  // refused by the system: it would be refused again

    const std::size_t moved =
        r.data_out ? 0 : r.data.size() - std::min<std::size_t>(r.data.size(), ending.residue);
    KeepAnswer(drive, r, r.data_out ? r.data : r.data.first(moved));
    return 0;
}

}  // namespace

CaptureRecorder::CaptureRecorder(std::unique_ptr<platform::Backend> inner)
    : ForwardingBackend(std::move(inner)) {}

const DriveRecording* CaptureRecorder::Recording(const std::string& node) const {
    const auto it = drives_.find(node);
    return it == drives_.end() ? nullptr : &it->second;
}

int CaptureRecorder::Open(const std::string& path) {
    const int handle = ForwardingBackend::Open(path);
    if (handle >= 0) nodes_[handle] = platform::NodeOfPath(path);
    return handle;
}

void CaptureRecorder::Close(int handle) {
    nodes_.erase(handle);
    ForwardingBackend::Close(handle);
}

int CaptureRecorder::ScsiPassThrough(int handle, platform::ScsiRequest& request) {
    const auto node = nodes_.find(handle);
    if (node == nodes_.end() || request.cdb_length == 0)
        return ForwardingBackend::ScsiPassThrough(handle, request);
    const Request r = Classify(request);
    const bool passthrough = r.kind != Request::Kind::Scsi && r.kind != Request::Kind::Direct;
    return RecordRequest(drives_[node->second], r, allow_code_load_, [&] {
        const int error = ForwardingBackend::ScsiPassThrough(handle, request);
        const auto outcome = OutcomeOf(error, request);
        return Ending{error, outcome.TimedOut(), CommandSucceeded(outcome, passthrough),
                      request.outcome.residue};
    });
}

int CaptureRecorder::AtaPassThrough(int handle, platform::AtaRequest& request) {
    const auto node = nodes_.find(handle);
    if (node == nodes_.end()) return ForwardingBackend::AtaPassThrough(handle, request);
    return RecordRequest(drives_[node->second], Classify(request), allow_code_load_, [&] {
        const int error = ForwardingBackend::AtaPassThrough(handle, request);
        const auto outcome = OutcomeOf(error, request);
        return Ending{error, outcome.TimedOut(), error == 0 && request.RanWithoutError(),
                      request.outcome.residue};
    });
}

}  // namespace vt::capture
