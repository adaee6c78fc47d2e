#include "sim/bench_file.h"

#include <iterator>

#include "platform/byte_order.h"
#include "platform/files.h"
#include "platform/named_objects.h"
#include "sim/bench.h"
#include "sim/drive_description.h"
#include "sim/drive_model.h"
#include "sim/json_reader.h"

namespace vt::sim {
namespace {

using nlohmann::json;

constexpr std::uint64_t kDefaultCapacity = 250069680;

// Keys of a drive besides the description keys.
const std::vector<std::string> kRawKeys = {"bus",
                                           "identify",
                                           "loader_identify",
                                           "inquiry",
                                           "loader_inquiry",
                                           "capacity_sectors",
                                           "vendor",
                                           "bridge",
                                           "mode",
                                           "status_sector",
                                           "memory",
                                           "system_pages",
                                           "flash_pages",
                                           "bad_unit_lists",
                                           "erase_counts",
                                           "smart_data",
                                           "smart_thresholds",
                                           "smart_usb",
                                           "spi_flash",
                                           "dram_layout",
                                           "registers",
                                           "faults",
                                           "state",
                                           "node",
                                           "use"};

// Raw keys whose presence makes a disk answer the vendor protocol unless `vendor` says otherwise.
const char* const kVendorRegions[] = {"loader_identify", "loader_inquiry", "mode",
                                      "status_sector",   "memory",         "system_pages",
                                      "flash_pages",     "bad_unit_lists", "erase_counts",
                                      "spi_flash",       "dram_layout",    "registers"};

void CheckDriveKeys(const json& drive, const std::string& key) {
    for (const auto& item : drive.items()) {
        const std::string& name = item.key();
        if (name == "comment" || (!name.empty() && name[0] == '_')) continue;
        const auto& described = DescriptionKeys();
        if (std::find(kRawKeys.begin(), kRawKeys.end(), name) == kRawKeys.end() &&
            std::find(described.begin(), described.end(), name) == described.end()) {
            Refuse(key + "." + name, "unknown key");
        }
    }
}

Bytes Sector(const json& value, const std::string& key, const std::filesystem::path& base) {
    Bytes bytes = ReadBlob(value, key, base);
    if (bytes.size() > 512) Refuse(key, "longer than 512 bytes");
    bytes.resize(512, 0);
    return bytes;
}

template <typename Read>
void EachEntry(const json& drive, const std::string& key, const char* name, Read read) {
    if (!drive.contains(name)) return;
    const std::string where = key + "." + name;
    for (const auto& item : RequireObject(drive[name], where).items()) {
        read(item.key(), item.value(), where + "." + item.key());
    }
}

FaultSpec ReadFault(const json& value, const std::string& key) {
    RequireObject(value, key);
    CheckKeys(value, key, {"op", "skip", "count", "effect"});
    FaultSpec fault;
    if (!value.contains("op")) Refuse(key + ".op", "missing");
    const std::string op = ReadString(value["op"], key + ".op");
    const auto colon = op.find(':');
    const std::string target = op.substr(0, colon);
    if (colon == std::string::npos || (target != "vendor" && target != "ata" && target != "scsi")) {
        Refuse(key + ".op", "unknown value \"" + op + "\" (expected vendor:XX, ata:XX or scsi:XX)");
    }
    fault.target = target == "vendor" ? FaultTarget::Vendor
                   : target == "ata"  ? FaultTarget::Ata
                                      : FaultTarget::Scsi;
    std::string code = op.substr(colon + 1);
    if (code.size() > 2 && (code.substr(0, 2) == "0x" || code.substr(0, 2) == "0X"))
        code = code.substr(2);
    if (code.empty() || code.size() > 2) Refuse(key + ".op", "expected a code of two hex digits");
    fault.code = static_cast<std::uint8_t>(ParseNumber("0x" + code, key + ".op", 0xFF));
    if (value.contains("skip")) fault.skip = ReadInteger(value["skip"], key + ".skip", UINT64_MAX);
    if (value.contains("count"))
        fault.count = ReadInteger(value["count"], key + ".count", UINT64_MAX);
    if (!value.contains("effect")) Refuse(key + ".effect", "missing");
    const std::string effect =
        ReadChoice(value["effect"], key + ".effect", {"fail", "timeout", "gone"});
    fault.effect = effect == "fail"      ? FaultEffect::Fail
                   : effect == "timeout" ? FaultEffect::Timeout
                                         : FaultEffect::Gone;
    return fault;
}

std::uint64_t CapacityOf(const Bytes& identify) {
    std::uint64_t lba48 = 0;
    for (std::size_t i = 0; i < 4; ++i)
        lba48 |= std::uint64_t{Le16(identify, 200 + 2 * i)} << (16 * i);
    if (lba48 != 0) return lba48;
    return Le32(identify, 120);
}

// The raw keys: each replaces (or, for memory and registers, overlays) what the description built.
void ReadRawRegions(const json& drive, const std::string& key, const std::filesystem::path& base,
                    DriveConfig& config) {
    const auto blob = [&](const char* name) {
        return ReadBlob(drive[name], key + "." + name, base);
    };
    if (drive.contains("identify"))
        config.identify = Sector(drive["identify"], key + ".identify", base);
    if (drive.contains("loader_identify")) {
        config.loader_identify = Sector(drive["loader_identify"], key + ".loader_identify", base);
    }
    if (drive.contains("inquiry")) config.inquiry = blob("inquiry");
    if (drive.contains("loader_inquiry")) config.loader_inquiry = blob("loader_inquiry");
    if (drive.contains("capacity_sectors")) {
        config.capacity_sectors =
            ReadInteger(drive["capacity_sectors"], key + ".capacity_sectors", 0xFFFFFFFFFFFFull);
    }
    if (drive.contains("mode")) {
        config.mode = ReadChoice(drive["mode"], key + ".mode", {"firmware", "loader"}) == "firmware"
                          ? ControllerMode::Firmware
                          : ControllerMode::Loader;
    }
    if (drive.contains("status_sector")) {
        config.status_sector = Sector(drive["status_sector"], key + ".status_sector", base);
    }
    EachEntry(drive, key, "memory",
              [&](const std::string& name, const json& v, const std::string& where) {
                  const auto parts = SplitNumbers(name, 2, where);
                  if (parts[0] > 255) Refuse(where, "memory space above 255");
                  const Bytes bytes = ReadBlob(v, where, base);
                  if (parts[1] + bytes.size() > (std::uint64_t{1} << 32))
                      Refuse(where, "runs past the 32-bit address space");
                  config.memory[static_cast<std::uint8_t>(parts[0])].Write(parts[1], bytes);
              });
    EachEntry(
        drive, key, "system_pages",
        [&](const std::string& name, const json& v, const std::string& where) {
            const auto p = SplitNumbers(name, 3, where, 0xFFFF);
            SparseBytes image;
            image.Write(0, ReadBlob(v, where, base));
            config.system_pages[{static_cast<std::uint32_t>(p[0]), static_cast<std::uint32_t>(p[1]),
                                 static_cast<std::uint32_t>(p[2])}] = std::move(image);
        });
    EachEntry(
        drive, key, "flash_pages",
        [&](const std::string& name, const json& v, const std::string& where) {
            const auto p = SplitNumbers(name, 4, where, 0xFFFF);
            config
                .flash_pages[{static_cast<std::uint32_t>(p[0]), static_cast<std::uint32_t>(p[1]),
                              static_cast<std::uint32_t>(p[2]), static_cast<std::uint32_t>(p[3])}] =
                ReadBlob(v, where, base);
        });
    EachEntry(drive, key, "bad_unit_lists",
              [&](const std::string& name, const json& v, const std::string& where) {
                  const auto p = SplitNumbers(name, 2, where, 0xFF);
                  config.bad_unit_lists[{static_cast<std::uint32_t>(p[0]),
                                         static_cast<std::uint32_t>(p[1])}] =
                      ReadBlob(v, where, base);
              });
    EachEntry(drive, key, "erase_counts",
              [&](const std::string& name, const json& v, const std::string& where) {
                  const auto p = SplitNumbers(name, 2, where, 0xFF);
                  config.erase_counts[{static_cast<std::uint32_t>(p[0]),
                                       static_cast<std::uint32_t>(p[1])}] =
                      ReadBlob(v, where, base);
              });
    if (drive.contains("smart_data"))
        config.smart_data = Sector(drive["smart_data"], key + ".smart_data", base);
    if (drive.contains("smart_thresholds")) {
        config.smart_thresholds =
            Sector(drive["smart_thresholds"], key + ".smart_thresholds", base);
    }
    if (drive.contains("smart_usb"))
        config.smart_usb = Sector(drive["smart_usb"], key + ".smart_usb", base);
    if (drive.contains("spi_flash")) config.spi_flash = blob("spi_flash");
    if (drive.contains("dram_layout")) config.dram_layout = blob("dram_layout");
    EachEntry(drive, key, "registers",
              [&](const std::string& name, const json& v, const std::string& where) {
                  const auto address = ParseNumber(name, where);
                  config.registers[static_cast<std::uint32_t>(address)] =
                      static_cast<std::uint8_t>(ReadInteger(v, where, 255));
              });
    if (drive.contains("faults")) {
        const auto& list = RequireArray(drive["faults"], key + ".faults");
        for (std::size_t i = 0; i < list.size(); ++i) {
            config.faults.push_back(ReadFault(list[i], key + ".faults[" + std::to_string(i) + "]"));
        }
    }
}

// Whatever neither the description nor a raw key gave.
void CompleteDefaults(const json& drive, DriveConfig& config) {
    if (config.capacity_sectors == 0 && !drive.contains("capacity_sectors")) {
        config.capacity_sectors =
            config.identify.empty() ? kDefaultCapacity : CapacityOf(config.identify);
    }
    if (config.identify.empty()) {
        config.identify =
            config.vendor
                ? BuildIdentify("Vantrel SSD", "VT00000001", "V1.0", config.capacity_sectors, 1)
                : BuildIdentify("VIRTUAL DISK", "VD00000001", "1.0", config.capacity_sectors, 0);
    }
    if (config.vendor && config.loader_identify.empty()) {
        config.loader_identify =
            BuildIdentify("Vantrel VTFK3X SATA SSD Loader Device", "", "LOADER", 0, 1);
    }
    if (config.inquiry.empty()) {
        config.inquiry = config.bridge == Bridge::None
                             ? BuildAtaInquiry(config.identify)
                             : BuildBridgeInquiry("Vantrel ", "USB to SATA",
                                                  config.bridge == Bridge::Older ? "FK1X" : "q702");
    }
    if (config.bridge == Bridge::Older && config.loader_inquiry.empty()) {
        config.loader_inquiry = config.inquiry;
        PutText(config.loader_inquiry, 8, "Generic FCR USB Loader  ");
    }
    if (config.status_sector.empty()) {
        config.status_sector.assign(512, 0);
        config.status_sector[0] = 0xE5;
        config.status_sector[1] = 'V';
        config.status_sector[2] = 'T';
    }
}

// The system's view of what uses the disk: {partitions, mounts, swaps, holders}.
platform::DiskUse ReadUse(const json& value, const std::string& key) {
    constexpr std::size_t kMaxEntries = 32;  // as many as the helper passes on
    RequireObject(value, key);
    CheckKeys(value, key, {"partitions", "mounts", "swaps", "holders"});
    const auto each = [&](const char* name, auto read) {
        if (!value.contains(name)) return;
        const std::string where = key + "." + name;
        const auto& list = RequireArray(value[name], where);
        if (list.size() > kMaxEntries)
            Refuse(where, "more than " + std::to_string(kMaxEntries) + " entries");
        for (std::size_t i = 0; i < list.size(); ++i)
            read(list[i], where + "[" + std::to_string(i) + "]");
    };
    const auto node = [](const json& item, const std::string& where) {
        std::string text = ReadString(item, where);
        if (text.empty() || text.size() > 200) Refuse(where, "expected a device node");
        return text;
    };
    // {"device": NODE, NAME: TEXT}, the second naming the mount point or the holder.
    const auto pair = [&](const json& item, const std::string& where, const char* name) {
        RequireObject(item, where);
        CheckKeys(item, where, {"device", name});
        for (const char* field : {"device", name}) {
            if (!item.contains(field)) Refuse(where + "." + field, "missing");
        }
        std::string what = ReadString(item[name], where + "." + name);
        if (what.empty() || what.size() > 1024) Refuse(where + "." + name, "expected a name");
        return std::pair{node(item["device"], where + ".device"), what};
    };
    platform::DiskUse use;
    using Kind = platform::DiskUser::Kind;
    each("partitions", [&](const json& item, const std::string& where) {
        use.partitions.push_back(node(item, where));
    });
    each("mounts", [&](const json& item, const std::string& where) {
        auto [device, on] = pair(item, where, "on");
        use.users.push_back({Kind::Mount, device, on});
    });
    each("swaps", [&](const json& item, const std::string& where) {
        use.users.push_back({Kind::Swap, node(item, where), ""});
    });
    each("holders", [&](const json& item, const std::string& where) {
        auto [device, by] = pair(item, where, "by");
        use.users.push_back({Kind::Holder, device, by});
    });
    return use;
}

DriveConfig ReadDrive(const json& drive, const std::string& key, std::size_t index,
                      const std::filesystem::path& base) {
    RequireObject(drive, key);
    CheckDriveKeys(drive, key);
    DriveConfig config;
    if (!drive.contains("bus")) Refuse(key + ".bus", "missing");
    config.bus = ReadChoice(drive["bus"], key + ".bus", {"ide", "scsi", "usb", "sbp2", "other"});
    const bool bridged = config.bus == "usb" || config.bus == "sbp2";
    if (bridged) config.bridge = Bridge::Supported;
    if (drive.contains("bridge")) {
        if (!bridged)
            Refuse(key + ".bridge", "only a disk on bus usb or sbp2 sits behind a bridge");
        config.bridge =
            ReadChoice(drive["bridge"], key + ".bridge", {"supported", "older"}) == "older"
                ? Bridge::Older
                : Bridge::Supported;
    }
    if (drive.contains("state")) {
        const std::string state =
            ReadChoice(drive["state"], key + ".state", {"present", "silent", "gone"});
        config.state = state == "present"  ? DiskState::Present
                       : state == "silent" ? DiskState::Silent
                                           : DiskState::Gone;
    }
    if (drive.contains("node")) {
        config.node = ReadString(drive["node"], key + ".node");
        if (config.node.empty() || config.node.size() > 200)
            Refuse(key + ".node", "expected a device node");
    }
    if (drive.contains("use")) config.use = ReadUse(drive["use"], key + ".use");

    const bool described = HasDescription(drive);
    if (described) BuildImages(ReadDescription(drive, key, index), config);
    config.vendor = described;
    for (const char* region : kVendorRegions)
        config.vendor = config.vendor || drive.contains(region);
    if (drive.contains("vendor")) config.vendor = ReadBool(drive["vendor"], key + ".vendor");

    ReadRawRegions(drive, key, base, config);
    CompleteDefaults(drive, config);
    return config;
}

std::unique_ptr<platform::BenchBackend> Make(const json& document,
                                             const std::filesystem::path& base_dir,
                                             const std::string& name, std::string& error) {
    try {
        const BlobBudget budget;
        auto drives = ReadBenchDocument(document, base_dir);
        return std::make_unique<platform::BenchBackend>(std::make_unique<Bench>(std::move(drives)));
    } catch (const BenchError& refused) {
        error = name + ": " + refused.key + ": " + refused.problem;
    } catch (const std::exception& failure) {
        error = name + ": " + failure.what();
    }
    return nullptr;
}

}  // namespace

std::vector<DriveConfig> ReadBenchDocument(const json& document,
                                           const std::filesystem::path& base_dir) {
    RequireObject(document, "document");
    CheckKeys(document, "", {"drives"});
    if (!document.contains("drives")) Refuse("drives", "missing");
    const auto& list = RequireArray(document["drives"], "drives");
    if (list.size() > kMaxBenchDrives) {
        Refuse("drives", std::to_string(list.size()) + " drives, more than the " +
                             std::to_string(kMaxBenchDrives) + " the drive list holds");
    }
    std::vector<DriveConfig> drives;
    for (std::size_t i = 0; i < list.size(); ++i) {
        drives.push_back(ReadDrive(list[i], "drives[" + std::to_string(i) + "]", i, base_dir));
    }
    return drives;
}

std::unique_ptr<platform::BenchBackend> LoadBenchFile(const std::string& path, std::string& error) {
    std::string reason;
    const auto bytes = platform::ReadFileBytes(path, kMaxBenchFileBytes, reason);
    if (!bytes) {
        error = reason + " (cannot read the bench file)";
        return nullptr;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    json document;
    try {
        document = ParseBenchJson(text);
    } catch (const json::exception& failure) {
        // A parse error, or a number too large for any type (out_of_range).
        error = path + ": not valid JSON: " + failure.what();
        return nullptr;
    } catch (const BenchError& refused) {
        error = path + ": " + refused.key + ": " + refused.problem;
        return nullptr;
    }
    const std::filesystem::path base = std::filesystem::path(path).parent_path();
    // Processes that load the same file share its drives' locks.
    std::string reason_dir;
    const auto lock_dir = platform::PrivateLockDirectory(reason_dir);
    const auto identity = platform::IdentityOf(path);
    if (!identity || !lock_dir) {
        error = path + ": no place for the drive locks: " + reason_dir;
        return nullptr;
    }
    auto backend = Make(document, base, path, error);
    if (backend) {
        backend->SetLockNamespace(*lock_dir + "/bench-" + std::to_string(identity->device) + "-" +
                                  std::to_string(identity->inode));
    }
    return backend;
}

std::unique_ptr<platform::BenchBackend> MakeBench(const json& document, std::string& error) {
    return Make(document, std::filesystem::current_path(), "bench", error);
}

}  // namespace vt::sim
