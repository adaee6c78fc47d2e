#include "discovery/device_scan.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "access/debug_msg.h"
#include "access/device_tables.h"
#include "access/disk_enumeration.h"
#include "discovery/bridge_identification.h"
#include "platform/backend.h"
#include "vendor/carrier.h"
#include "vendor/catalogue.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

constexpr std::size_t kSerialOffset = 20, kSerialLength = 20;
constexpr std::size_t kFirmwareOffset = 46, kFirmwareLength = 8;
constexpr std::size_t kModelOffset = 54, kModelLength = 40;

std::string ComboLine(const char* interface_text, const std::string& first,
                      const std::string& second, char letter) {
    std::string line = std::string("<<") + interface_text + ">> " + " " + first + " " + second;
    if (letter != 0) line += std::string(" (") + letter + ":)";
    return line;
}

DeviceRow MakeRow(unsigned device, const char* interface_text) {
    const auto& data = DriveInfoOf(device).IdentifyData;
    DeviceRow row;
    row.device = static_cast<std::uint8_t>(device);
    // One capacity read gives both units.
    const std::uint64_t sectors = GetCapacitySectors(device);
    row.capacity_mb = CapacityMBOf(sectors);
    row.capacity_bytes = CapacityBytesOf(sectors);
    row.model = TrimDisplay(IdentifyString(data, kModelOffset, kModelLength));
    row.serial = TrimDisplay(IdentifyString(data, kSerialOffset, kSerialLength));
    row.firmware = IdentifyString(data, kFirmwareOffset, kFirmwareLength);
    row.interface_name = interface_text;
    row.cells = {std::to_string(device + 1),
                 row.model,
                 row.serial,
                 row.firmware,
                 std::to_string(row.capacity_mb / 1024),
                 row.interface_name};
    return row;
}

std::string TrimmedModel(unsigned device) {
    return TrimDisplay(
        IdentifyString(DriveInfoOf(device).IdentifyData, kModelOffset, kModelLength));
}

std::string TrimmedSerial(unsigned device) {
    return TrimDisplay(
        IdentifyString(DriveInfoOf(device).IdentifyData, kSerialOffset, kSerialLength));
}

// Keeps the model, serial and firmware of an IDENTIFY answer, in reading order, as the device's.
void KeepIdentifyStrings(unsigned device, std::array<std::uint8_t, 512>& answer) {
    auto& data = DriveInfoOf(device).IdentifyData;
    for (const auto& [offset, length] :
         {std::pair{kModelOffset, kModelLength}, std::pair{kSerialOffset, kSerialLength},
          std::pair{kFirmwareOffset, kFirmwareLength}}) {
        SwapBytePairs(std::span(answer).subspan(offset, length));
        std::copy_n(answer.begin() + offset, length, data.begin() + offset);
    }
}

void Accept(unsigned device, const std::string& path) {
    DriveInfoOf(device).Path = path;
    EntryOf(device).DevicePath = path;
}

// An IDE/SATA or SCSI disk: the vendor signature decides.
bool ScanAtaDisk(unsigned n, int index, const std::string& path, const Classification& kind,
                 DeviceListRecord& record) {
    SetUpEntry(n, path, kind.kind);
    DebugMsg(kind.kind == DEVICE_IDE ? "DEVICE_IDE" : "DEVICE_SCSI");
    CarrierMode = 2;
    if (!CheckVendorSignature(n)) return false;
    std::array<std::uint8_t, 512> identify{};
    IdentifyViaDriver(path, index, kind.kind, identify, 512);
    DriveInfoOf(n).IdentifyData = identify;
    Accept(n, path);
    char letter = 0;
    if (kind.kind == DEVICE_IDE) FindDriveLetter(path, letter);
    const std::string line = ComboLine(kind.text, TrimmedModel(n), TrimmedSerial(n), letter);
    if (kind.kind == DEVICE_SCSI) record.combo_lines.push_back(line);
    record.rows.push_back(MakeRow(n, kind.text));
    if (kind.kind == DEVICE_IDE) record.combo_lines.push_back(line);
    return true;
}

bool ScanUsbDisk(unsigned n, const std::string& path, const Classification& kind,
                 DeviceListRecord& record) {
    SetUpEntry(n, path, DEVICE_USB);
    DebugMsg("DEVICE_USB");
    CarrierMode = 2;
    const int bridge = IdentifyBridge(n);
    if (bridge == kBridgeNone) return false;
    char letter = 0;
    std::array<std::uint8_t, 512> answer{};
    if (IsSupportedBridge(bridge)) {
        EntryOf(n).DirectVendorCdb = 0;
        if (bridge == kBridgePio) CarrierMode = 1;
        if (VA_Identify(n, answer, 1)) {
            KeepIdentifyStrings(n, answer);
            FindDriveLetter(path, letter);
            Accept(n, path);
            record.rows.push_back(MakeRow(n, kTextUsbSata));
            record.combo_lines.push_back(
                ComboLine(kTextUsbSata, TrimmedModel(n), TrimmedSerial(n), letter));
        }
    } else if (VC_Inquiry(n, answer, 1) == 1) {
        auto& info = DriveInfoOf(n);
        info.BridgeVendor.assign(reinterpret_cast<const char*>(&answer[8]), 8);
        info.BridgeProduct.assign(reinterpret_cast<const char*>(&answer[16]), 16);
        FindDriveLetter(path, letter);
        record.combo_lines.push_back(ComboLine(kind.text, TrimDisplay(info.BridgeVendor),
                                               TrimDisplay(info.BridgeProduct), letter));
    }
    Accept(n, path);
    return true;
}

}  // namespace

Classification ClassifyDiskPath(const std::string& lower_path) {
    auto has = [&](const char* word) { return lower_path.find(word) != std::string::npos; };
    if (has("ide")) return {DEVICE_IDE, kTextIde};
    if (has("scsi"))
        return IsWindows8() ? Classification{DEVICE_IDE, kTextIde}
                            : Classification{DEVICE_SCSI, kTextScsi};
    if (has("usb")) return {DEVICE_USB, kTextUsb};
    if (has("sbp2")) return {DEVICE_USB, kTextSbp2};
    return {};
}

DeviceRow DescribeUnlistedDisk(unsigned device) {
    DriveInfoOf(device).IdentifyData = {};
    std::array<std::uint8_t, 512> answer{};
    if (VA_Identify(device, answer, 1)) KeepIdentifyStrings(device, answer);
    std::string path = EntryOf(device).DevicePath;
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto kind = ClassifyDiskPath(path);
    return MakeRow(device, kind.text ? kind.text : "");
}

namespace {

// `found` ends the scan after the row it holds to be the one looked for.
DeviceListRecord Scan(const std::function<bool(const DeviceRow&)>& found) {
    DeviceListRecord record;
    DiskList disks;
    const int count = EnumerateDisks(disks);
    DebugMsg("nDevice = %d", count);
    unsigned n = 0;
    for (int i = 0; i < count; ++i) {
        if (n >= kMaxDevices) {
            DebugMsg("Device tables full: %d disks left out\r\n", count - i);
            break;
        }
        std::string path = disks[static_cast<std::size_t>(i)];
        std::transform(path.begin(), path.end(), path.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        DriveInfoOf(n).InterfaceKind = 0;
        const platform::DriveLock hold(path);
        const auto kind = ClassifyDiskPath(path);
        DriveInfoOf(n).InterfaceKind = kind.kind;
        bool accepted = false;
        if (kind.kind == DEVICE_IDE || kind.kind == DEVICE_SCSI) {
            accepted = ScanAtaDisk(n, i, path, kind, record);
        } else if (kind.kind == DEVICE_USB) {
            accepted = ScanUsbDisk(n, path, kind, record);
        }
        if (accepted) ++n;
        const bool new_row =
            accepted && !record.rows.empty() && record.rows.back().device + 1u == n;
        if (new_row && found && found(record.rows.back())) break;
    }
    record.accepted = static_cast<std::uint8_t>(n);
    // An empty list must not hide missing rights.
    if (n == 0) {
        for (const auto& path : disks) {
            if (auto problem = CheckDeviceAccess(path)) record.notices.push_back(*problem);
        }
    }
    return record;
}

}  // namespace

DeviceListRecord ScanDevices() {
    return Scan(nullptr);
}

bool RowIsNamed(const DeviceRow& row, const std::string& name) {
    const std::string& path = DriveInfoOf(row.device).Path;
    return row.cells[0] == name || path == name || platform::NodeOfPath(path) == name;
}

std::optional<std::size_t> FindListedRow(const DeviceListRecord& record, const std::string& name) {
    for (std::size_t row = 0; row < record.rows.size(); ++row) {
        if (RowIsNamed(record.rows[row], name)) return row;
    }
    return std::nullopt;
}

DeviceListRecord ScanDevicesFor(const std::string& name) {
    return Scan([&name](const DeviceRow& row) { return RowIsNamed(row, name); });
}

}  // namespace vt
