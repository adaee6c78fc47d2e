#include "sim/drive_description.h"

#include <algorithm>

#include "sim/json_reader.h"

namespace vt::sim {
namespace {

using nlohmann::json;

std::string Fixed(const json& value, const std::string& key, std::size_t length) {
    const std::string text = ReadString(value, key);
    if (text.size() != length) {
        Refuse(key, "expected exactly " + std::to_string(length) + " characters");
    }
    return text;
}

std::uint32_t OneOf(const json& value, const std::string& key,
                    std::initializer_list<std::uint32_t> allowed) {
    const auto number = static_cast<std::uint32_t>(ReadInteger(value, key));
    if (std::find(allowed.begin(), allowed.end(), number) == allowed.end()) {
        std::string list;
        for (const auto a : allowed) list += (list.empty() ? "" : ", ") + std::to_string(a);
        Refuse(key, "unknown value " + std::to_string(number) + " (expected one of " + list + ")");
    }
    return number;
}

std::uint32_t Ranged(const json& value, const std::string& key, std::uint32_t low,
                     std::uint32_t high) {
    const auto number = ReadInteger(value, key, high);
    if (number < low) Refuse(key, "at least " + std::to_string(low) + " expected");
    return static_cast<std::uint32_t>(number);
}

// Runs `read` on the member `name` of `object` when it is there.
template <typename Read>
void Optional(const json& object, const std::string& key, const char* name, Read read) {
    if (object.contains(name)) read(object[name], key + "." + name);
}

void ReadFlash(const json& value, const std::string& key, FlashGeometry& flash) {
    RequireObject(value, key);
    CheckKeys(value, key,
              {"vendor", "cell", "sectors_per_page", "pages_per_block", "blocks_per_ce",
               "dies_per_ce", "name"});
    Optional(value, key, "vendor", [&](const json& v, const std::string& k) {
        static const char* const kVendors[] = {"Micron", "Samsung", "Toshiba",
                                               "Hynix",  "Intel",   "Sandisk"};
        const std::string word =
            ReadChoice(v, k, {"Micron", "Samsung", "Toshiba", "Hynix", "Intel", "Sandisk"});
        for (std::uint8_t i = 0; i < 6; ++i) {
            if (word == kVendors[i]) flash.vendor = i;
        }
    });
    Optional(value, key, "cell", [&](const json& v, const std::string& k) {
        flash.mlc = ReadChoice(v, k, {"SLC", "MLC"}) == "MLC";
    });
    Optional(value, key, "sectors_per_page", [&](const json& v, const std::string& k) {
        flash.sectors_per_page = OneOf(v, k, {4, 8, 16, 32});
    });
    Optional(value, key, "pages_per_block", [&](const json& v, const std::string& k) {
        flash.pages_per_block = OneOf(v, k, {64, 128, 256, 512});
    });
    Optional(value, key, "blocks_per_ce", [&](const json& v, const std::string& k) {
        flash.blocks_per_ce = OneOf(v, k, {1024, 2048, 4096, 8192, 16384});
    });
    Optional(value, key, "dies_per_ce", [&](const json& v, const std::string& k) {
        flash.dies_per_ce = OneOf(v, k, {1, 2, 4});
    });
    Optional(value, key, "name", [&](const json& v, const std::string& k) {
        flash.name = ReadString(v, k);
        if (flash.name.size() > 31) Refuse(k, "at most 31 characters");
    });
}

std::uint8_t ReadErrorType(const json& value, const std::string& key) {
    if (value.is_string()) {
        const std::string word =
            ReadChoice(value, key, {"ecc_over", "prog_fail", "erase_fail", "ecc_fail"});
        if (word == "ecc_over") return 1;
        if (word == "prog_fail") return 3;
        if (word == "erase_fail") return 4;
        return 5;
    }
    return static_cast<std::uint8_t>(ReadInteger(value, key, 255));
}

struct Limits {
    std::uint32_t channels, ces, units, blocks;
};

std::uint32_t Within(const json& item, const std::string& key, const char* name,
                     std::uint32_t limit) {
    if (!item.contains(name)) Refuse(key + "." + name, "missing");
    const auto number = ReadInteger(item[name], key + "." + name);
    if (number >= limit)
        Refuse(key + "." + name, "out of range (below " + std::to_string(limit) + ")");
    return static_cast<std::uint32_t>(number);
}

// A small deterministic generator, so a seed gives the same drive on every run.
struct Random {
    std::uint32_t state;
    std::uint32_t Next(std::uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return bound == 0 ? 0 : (state >> 8) % bound;
    }
};

void ReadRandomBad(const json& value, const std::string& key, const Limits& limits,
                   DriveDescription& d) {
    RequireObject(value, key);
    CheckKeys(value, key, {"factory", "early", "later", "seed"});
    Random random{1};
    Optional(value, key, "seed", [&](const json& v, const std::string& k) {
        random.state = static_cast<std::uint32_t>(ReadInteger(v, k));
    });
    const auto count = [&](const char* name) {
        return value.contains(name)
                   ? static_cast<std::uint32_t>(ReadInteger(value[name], key + "." + name, 4096))
                   : 0u;
    };
    // Units from 64 up keep clear of the system and later-bad table blocks at the start of a CE.
    const std::uint32_t first = std::min<std::uint32_t>(64, limits.units / 2);
    for (std::uint32_t i = count("factory"); i > 0; --i) {
        d.factory_bad.push_back({random.Next(limits.channels), random.Next(limits.ces),
                                 2 * first + random.Next(limits.blocks - 2 * first)});
    }
    for (std::uint32_t i = count("early"); i > 0; --i) {
        d.early_bad.push_back({random.Next(limits.channels), random.Next(limits.ces),
                               first + random.Next(limits.units - first)});
    }
    static constexpr std::uint8_t kTypes[] = {3, 4, 5, 1};
    for (std::uint32_t i = 0, n = count("later"); i < n; ++i) {
        LaterBad later;
        later.channel = random.Next(limits.channels);
        later.ce = random.Next(limits.ces);
        later.unit = first + random.Next(limits.units - first);
        later.type = kTypes[i % 4];
        if (i % 2 == 0) later.remap_to = limits.units - 1 - i;  // spare units at the top
        later.plane = i % 4 == 0 ? 1 : 0;
        d.later_bad.push_back(later);
    }
}

void ReadBadBlocks(const json& value, const std::string& key, DriveDescription& d) {
    RequireObject(value, key);
    CheckKeys(value, key, {"factory", "early", "later", "remaps", "random"});
    const Limits limits{d.channels, d.banks * d.flash.dies_per_ce,
                        d.flash.blocks_per_ce / 2 / d.flash.dies_per_ce, d.flash.blocks_per_ce};
    const auto each = [&](const char* name, auto read) {
        if (!value.contains(name)) return;
        const auto& list = RequireArray(value[name], key + "." + name);
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string where = key + "." + name + "[" + std::to_string(i) + "]";
            read(RequireObject(list[i], where), where);
        }
    };
    each("factory", [&](const json& item, const std::string& where) {
        CheckKeys(item, where, {"channel", "ce", "block"});
        d.factory_bad.push_back({Within(item, where, "channel", limits.channels),
                                 Within(item, where, "ce", limits.ces),
                                 Within(item, where, "block", limits.blocks)});
    });
    each("early", [&](const json& item, const std::string& where) {
        CheckKeys(item, where, {"channel", "ce", "unit"});
        d.early_bad.push_back({Within(item, where, "channel", limits.channels),
                               Within(item, where, "ce", limits.ces),
                               Within(item, where, "unit", limits.units)});
    });
    each("later", [&](const json& item, const std::string& where) {
        CheckKeys(item, where, {"channel", "ce", "unit", "type", "remap_to", "plane"});
        LaterBad later;
        later.channel = Within(item, where, "channel", limits.channels);
        later.ce = Within(item, where, "ce", limits.ces);
        later.unit = Within(item, where, "unit", limits.units);
        if (item.contains("type")) later.type = ReadErrorType(item["type"], where + ".type");
        if (item.contains("remap_to"))
            later.remap_to = Within(item, where, "remap_to", limits.units);
        if (item.contains("plane")) later.plane = Within(item, where, "plane", 2);
        d.later_bad.push_back(later);
    });
    each("remaps", [&](const json& item, const std::string& where) {
        CheckKeys(item, where, {"channel", "ce", "plane", "unit", "to"});
        Remap remap;
        remap.channel = Within(item, where, "channel", limits.channels);
        remap.ce = Within(item, where, "ce", limits.ces);
        remap.unit = Within(item, where, "unit", limits.units);
        remap.to = Within(item, where, "to", limits.units);
        if (item.contains("plane")) remap.plane = Within(item, where, "plane", 2);
        d.remaps.push_back(remap);
    });
    Optional(value, key, "random",
             [&](const json& v, const std::string& k) { ReadRandomBad(v, k, limits, d); });
}

SmartAttribute* FindAttribute(SmartModel& smart, std::uint8_t id) {
    for (auto& attribute : smart.attributes) {
        if (attribute.id == id) return &attribute;
    }
    return nullptr;
}

void ReadSmart(const json& value, const std::string& key, DriveDescription& d) {
    RequireObject(value, key);
    CheckKeys(
        value, key,
        {"revision", "power_on_hours", "power_cycles", "power_loss", "temperature", "attributes"});
    SmartModel& smart = d.smart;
    Optional(value, key, "revision", [&](const json& v, const std::string& k) {
        smart.revision = static_cast<std::uint16_t>(ReadInteger(v, k, 0xFFFF));
    });
    Optional(value, key, "power_on_hours", [&](const json& v, const std::string& k) {
        smart.counters.power_on_hours = static_cast<std::uint32_t>(ReadInteger(v, k));
    });
    Optional(value, key, "power_cycles", [&](const json& v, const std::string& k) {
        smart.counters.power_cycles = static_cast<std::uint32_t>(ReadInteger(v, k));
    });
    Optional(value, key, "power_loss", [&](const json& v, const std::string& k) {
        smart.counters.power_loss = static_cast<std::uint32_t>(ReadInteger(v, k));
    });
    Optional(value, key, "temperature", [&](const json& v, const std::string& k) {
        const auto& list = RequireArray(v, k);
        if (list.size() != 3) Refuse(k, "expected [current, minimum, maximum]");
        std::uint64_t raw = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            raw |= ReadInteger(list[i], k + "[" + std::to_string(i) + "]", 0xFFFF) << (16 * i);
        }
        if (auto* attribute = FindAttribute(smart, 0xC2)) attribute->raw = raw;
    });
    Optional(value, key, "attributes", [&](const json& v, const std::string& k) {
        const auto& list = RequireArray(v, k);
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string where = k + "[" + std::to_string(i) + "]";
            const auto& item = RequireObject(list[i], where);
            CheckKeys(item, where, {"id", "flags", "value", "worst", "threshold", "raw"});
            if (!item.contains("id")) Refuse(where + ".id", "missing");
            const auto id = static_cast<std::uint8_t>(ReadInteger(item["id"], where + ".id", 255));
            SmartAttribute* attribute = FindAttribute(smart, id);
            if (attribute == nullptr) {
                smart.attributes.push_back(SmartAttribute{id});
                attribute = &smart.attributes.back();
            }
            Optional(item, where, "flags", [&](const json& x, const std::string& kk) {
                attribute->flags = static_cast<std::uint16_t>(ReadInteger(x, kk, 0xFFFF));
            });
            Optional(item, where, "value", [&](const json& x, const std::string& kk) {
                attribute->value = static_cast<std::uint8_t>(ReadInteger(x, kk, 255));
            });
            Optional(item, where, "worst", [&](const json& x, const std::string& kk) {
                attribute->worst = static_cast<std::uint8_t>(ReadInteger(x, kk, 255));
            });
            Optional(item, where, "threshold", [&](const json& x, const std::string& kk) {
                attribute->threshold = static_cast<std::uint8_t>(ReadInteger(x, kk, 255));
            });
            Optional(item, where, "raw", [&](const json& x, const std::string& kk) {
                attribute->raw = ReadInteger(x, kk, 0xFFFFFFFFFFFFull);
            });
        }
    });
}

void ReadUartLog(const json& value, const std::string& key, DriveDescription& d) {
    UartLogDescription& log = d.uart_log;
    if (value.is_boolean()) {
        log.present = value.get<bool>();
        return;
    }
    RequireObject(value, key);
    CheckKeys(value, key, {"size", "wrapped", "lines", "location"});
    log.present = true;
    Optional(value, key, "size", [&](const json& v, const std::string& k) {
        log.size = Ranged(v, k, 512, 131072);
        if (log.size % 512 != 0) Refuse(k, "a multiple of 512 expected");
    });
    Optional(value, key, "wrapped",
             [&](const json& v, const std::string& k) { log.wrapped = ReadBool(v, k); });
    Optional(value, key, "location", [&](const json& v, const std::string& k) {
        log.in_layout = ReadChoice(v, k, {"layout", "fixed"}) == "layout";
    });
    Optional(value, key, "lines", [&](const json& v, const std::string& k) {
        const auto& list = RequireArray(v, k);
        for (std::size_t i = 0; i < list.size(); ++i) {
            log.lines.push_back(ReadString(list[i], k + "[" + std::to_string(i) + "]"));
        }
    });
}

void ReadSpi(const json& value, const std::string& key, DriveDescription& d) {
    if (value.is_boolean()) {
        d.spi.present = value.get<bool>();
        return;
    }
    RequireObject(value, key);
    CheckKeys(value, key, {"tag"});
    d.spi.present = true;
    Optional(value, key, "tag", [&](const json& v, const std::string& k) {
        d.spi.tag = ReadString(v, k);
        if (d.spi.tag.size() > 12) Refuse(k, "at most 12 characters");
    });
}

std::vector<std::uint16_t> ReadWords(const json& value, const std::string& key, std::size_t count) {
    const auto& list = RequireArray(value, key);
    if (list.size() != count) Refuse(key, "expected " + std::to_string(count) + " numbers");
    std::vector<std::uint16_t> words;
    for (std::size_t i = 0; i < list.size(); ++i) {
        words.push_back(static_cast<std::uint16_t>(
            ReadInteger(list[i], key + "[" + std::to_string(i) + "]", 0xFFFF)));
    }
    return words;
}

std::string DefaultLoaderModel(const std::string& model) {
    return model == "K12" || model == "K14" ? "Generic FCR SATA Loader Loader Device"
                                            : "Vantrel VTFK3X SATA SSD Loader Device";
}

void DefaultSmart(SmartModel& smart) {
    smart.counters = {1843, 5120, 37};
    smart.attributes = {
        {0x01, 0x000B, 100, 100, 50, 0},
        {0x05, 0x0013, 100, 100, 10, 0},
        {kPowerOnHoursId, 0x0012, 100, 100, 0, 0},
        {kPowerCyclesId, 0x0012, 100, 100, 0, 0},
        {0xA3, 0x0012, 100, 100, 0, 0},
        {0xA4, 0x0012, 100, 100, 0, 0},
        {0xA7, 0x0022, 100, 100, 0, 0},
        {0xA8, 0x0012, 100, 100, 0, 3},
        {0xA9, 0x0013, 100, 100, 10, 0},
        {0xAD, 0x0012, 100, 100, 0, 0},
        {0xAF, 0x0013, 100, 100, 0, 0},
        {kPowerLossId, 0x0012, 100, 100, 0, 0},
        {0xC2, 0x0022, 100, 100, 0, 0x3C0014001Full},
        {0xF1, 0x0032, 100, 100, 0, 0x1A2B3C4Dull},
        {0xF2, 0x0032, 100, 100, 0, 0x2B3C4D5Eull},
    };
}

const std::vector<std::string> kKeys = {"model",
                                        "build",
                                        "revision",
                                        "fw_variant",
                                        "smart_code",
                                        "product",
                                        "serial",
                                        "firmware",
                                        "loader_model",
                                        "rotation",
                                        "flash",
                                        "channels",
                                        "banks",
                                        "ecc_mode",
                                        "io_drive_current",
                                        "reserved_percent10",
                                        "defect_percent10",
                                        "wear_level_freq",
                                        "features",
                                        "table_flags",
                                        "config_bit5",
                                        "loader_entries",
                                        "system_blocks",
                                        "stale_system_blocks",
                                        "later_bad_units",
                                        "bad_blocks",
                                        "wear",
                                        "smart",
                                        "uart_log",
                                        "spi_logs",
                                        "bridge_tag",
                                        "bridge_dma_carrier",
                                        "bridge_vendor",
                                        "bridge_product"};

}  // namespace

const std::vector<std::string>& DescriptionKeys() {
    return kKeys;
}

bool HasDescription(const json& drive) {
    return std::any_of(kKeys.begin(), kKeys.end(),
                       [&](const std::string& k) { return drive.contains(k); });
}

DriveDescription ReadDescription(const json& drive, const std::string& key, std::size_t index) {
    DriveDescription d;
    DefaultSmart(d.smart);
    const auto opt = [&](const char* name, auto read) { Optional(drive, key, name, read); };

    opt("model", [&](const json& v, const std::string& k) { d.model = Fixed(v, k, 3); });
    opt("build", [&](const json& v, const std::string& k) { d.build = Fixed(v, k, 1)[0]; });
    opt("revision", [&](const json& v, const std::string& k) { d.revision = Fixed(v, k, 2); });
    opt("fw_variant", [&](const json& v, const std::string& k) { d.fw_variant = Fixed(v, k, 2); });
    opt("smart_code", [&](const json& v, const std::string& k) { d.smart_code = Fixed(v, k, 4); });
    opt("product", [&](const json& v, const std::string& k) { d.product = ReadString(v, k); });
    opt("serial", [&](const json& v, const std::string& k) { d.serial = ReadString(v, k); });
    opt("firmware", [&](const json& v, const std::string& k) { d.firmware = ReadString(v, k); });
    opt("loader_model",
        [&](const json& v, const std::string& k) { d.loader_model = ReadString(v, k); });
    opt("rotation", [&](const json& v, const std::string& k) {
        d.rotation = static_cast<std::uint16_t>(ReadInteger(v, k, 0xFFFF));
    });
    opt("flash", [&](const json& v, const std::string& k) { ReadFlash(v, k, d.flash); });
    opt("channels", [&](const json& v, const std::string& k) { d.channels = Ranged(v, k, 1, 8); });
    opt("banks", [&](const json& v, const std::string& k) { d.banks = Ranged(v, k, 1, 8); });
    opt("ecc_mode", [&](const json& v, const std::string& k) {
        d.ecc_mode = static_cast<std::uint8_t>(Ranged(v, k, 0, 3));
    });
    opt("io_drive_current", [&](const json& v, const std::string& k) {
        d.io_drive_current = static_cast<std::uint8_t>(Ranged(v, k, 0, 7));
    });
    opt("reserved_percent10", [&](const json& v, const std::string& k) {
        d.reserved_percent10 = static_cast<std::uint16_t>(Ranged(v, k, 0, 1000));
    });
    opt("defect_percent10", [&](const json& v, const std::string& k) {
        d.defect_percent10 = static_cast<std::uint8_t>(Ranged(v, k, 0, 255));
    });
    opt("wear_level_freq", [&](const json& v, const std::string& k) {
        d.wear_level_freq = static_cast<std::uint8_t>(Ranged(v, k, 0, 255));
    });
    opt("features", [&](const json& v, const std::string& k) {
        const auto& list = RequireArray(v, k);
        d.features.clear();
        for (std::size_t i = 0; i < list.size(); ++i) {
            d.features.push_back(Ranged(list[i], k + "[" + std::to_string(i) + "]", 0, 14));
        }
    });
    opt("table_flags", [&](const json& v, const std::string& k) {
        d.table_flags = static_cast<std::uint8_t>(Ranged(v, k, 0, 255));
    });
    opt("config_bit5",
        [&](const json& v, const std::string& k) { d.config_bit5 = ReadBool(v, k); });
    opt("loader_entries", [&](const json& v, const std::string& k) {
        d.loader_entries = static_cast<std::uint8_t>(Ranged(v, k, 0, 255));
    });
    opt("system_blocks",
        [&](const json& v, const std::string& k) { d.system_blocks = ReadWords(v, k, 4); });
    opt("stale_system_blocks", [&](const json& v, const std::string& k) {
        const auto& list = RequireArray(v, k);
        for (std::size_t i = 0; i < list.size(); ++i) {
            d.stale_system_blocks.push_back(
                Ranged(list[i], k + "[" + std::to_string(i) + "]", 0, 3));
        }
    });
    opt("later_bad_units",
        [&](const json& v, const std::string& k) { d.later_bad_units = ReadWords(v, k, 2); });
    // Bad blocks are checked against the geometry, so they are read after it.
    opt("bad_blocks", [&](const json& v, const std::string& k) { ReadBadBlocks(v, k, d); });
    opt("wear", [&](const json& v, const std::string& k) {
        RequireObject(v, k);
        CheckKeys(v, k, {"average", "spread", "seed"});
        Optional(v, k, "average", [&](const json& x, const std::string& kk) {
            d.wear_average = Ranged(x, kk, 0, 60000);
        });
        Optional(v, k, "spread", [&](const json& x, const std::string& kk) {
            d.wear_spread = Ranged(x, kk, 0, 60000);
        });
        Optional(v, k, "seed", [&](const json& x, const std::string& kk) {
            d.seed = static_cast<std::uint32_t>(ReadInteger(x, kk));
        });
    });
    opt("smart", [&](const json& v, const std::string& k) { ReadSmart(v, k, d); });
    // The UART log of the firmware is at the DRAM layout addresses except in revisions 42-44.
    d.uart_log.present = d.model == "K38";
    d.uart_log.in_layout = d.revision != "42" && d.revision != "43" && d.revision != "44";
    opt("uart_log", [&](const json& v, const std::string& k) { ReadUartLog(v, k, d); });
    opt("spi_logs", [&](const json& v, const std::string& k) { ReadSpi(v, k, d); });
    opt("bridge_tag", [&](const json& v, const std::string& k) {
        d.bridge_tag = ReadString(v, k);
        if (d.bridge_tag.size() > 4) Refuse(k, "at most 4 characters");
    });
    opt("bridge_dma_carrier",
        [&](const json& v, const std::string& k) { d.bridge_passes_dma_carrier = ReadBool(v, k); });
    opt("bridge_vendor",
        [&](const json& v, const std::string& k) { d.bridge_vendor = ReadString(v, k); });
    opt("bridge_product",
        [&](const json& v, const std::string& k) { d.bridge_product = ReadString(v, k); });
    if (drive.contains("capacity_sectors")) {
        d.capacity_sectors =
            ReadInteger(drive["capacity_sectors"], key + ".capacity_sectors", 0xFFFFFFFFFFFFull);
    }

    if (d.banks * d.flash.dies_per_ce > 8) Refuse(key + ".banks", "at most 8 CEs per channel");
    if (d.product.empty()) d.product = "Vantrel VT" + d.model + " SSD";
    if (d.serial.empty()) d.serial = "VT" + d.model + "S" + std::to_string(100000 + index);
    if (d.firmware.empty()) d.firmware = d.model + std::string(1, d.build) + "." + d.revision;
    if (d.loader_model.empty()) d.loader_model = DefaultLoaderModel(d.model);
    return d;
}

}  // namespace vt::sim
