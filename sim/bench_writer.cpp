#include "sim/bench_writer.h"

#include <algorithm>
#include <cstdio>

namespace vt::sim {
namespace {

using Json = nlohmann::ordered_json;

// A patch entry costs about this many characters of JSON, so shorter stretches of fill between two
// differing stretches are cheaper kept inside one patch.
constexpr std::size_t kPatchOverhead = 24;
// Blobs up to this size are written as one hex string whatever they hold.
constexpr std::size_t kPlainLimit = 64;

std::string Address(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// Stretches of bytes that differ from `fill`, [first, last), joined across short runs of fill.
std::vector<std::pair<std::size_t, std::size_t>> Differing(std::span<const std::uint8_t> bytes,
                                                           std::uint8_t fill) {
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] == fill) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < bytes.size() && bytes[end] != fill) ++end;
        if (!spans.empty() && i - spans.back().second < kPatchOverhead / 2) {
            spans.back().second = end;
        } else {
            spans.emplace_back(i, end);
        }
        i = end;
    }
    return spans;
}

Json PatchedBlob(std::uint64_t size, std::uint8_t fill,
                 const std::vector<std::pair<std::uint64_t, Bytes>>& patches) {
    Json blob = Json::object();
    blob["size"] = size;
    if (fill != 0) blob["fill"] = HexByte(fill);
    if (!patches.empty()) {
        Json list = Json::array();
        for (const auto& [at, bytes] : patches)
            list.push_back({{"at", at}, {"hex", HexBytes(bytes)}});
        blob["patches"] = std::move(list);
    }
    return blob;
}

std::uint8_t CommonFill(std::span<const std::uint8_t> bytes) {
    const auto ff = std::count(bytes.begin(), bytes.end(), std::uint8_t{0xFF});
    const auto zero = std::count(bytes.begin(), bytes.end(), std::uint8_t{0x00});
    return ff > zero ? 0xFF : 0x00;
}

template <typename Map, typename KeyText, typename Value>
void PutMap(Json& drive, const char* name, const Map& map, KeyText key_text, Value value) {
    if (map.empty()) return;
    Json object = Json::object();
    for (const auto& [key, entry] : map) object[key_text(key)] = value(entry);
    drive[name] = std::move(object);
}

std::string PairText(const PairKey& key) {
    return std::to_string(key.first) + ":" + std::to_string(key.second);
}

}  // namespace

void KnownBytes::Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    std::uint64_t first = offset;
    const std::uint64_t end = offset + bytes.size();
    Bytes joined(bytes.begin(), bytes.end());
    // Runs that overlap or touch the new bytes are merged into one; the new bytes win.
    auto it = runs_.upper_bound(offset);
    if (it != runs_.begin()) {
        auto before = std::prev(it);
        if (before->first + before->second.size() >= offset) it = before;
    }
    while (it != runs_.end() && it->first <= end) {
        const std::uint64_t run_first = it->first;
        const Bytes& run = it->second;
        const std::uint64_t run_end = run_first + run.size();
        if (run_first < first) {
            Bytes head(run.begin(), run.begin() + static_cast<std::ptrdiff_t>(first - run_first));
            joined.insert(joined.begin(), head.begin(), head.end());
            first = run_first;
        }
        if (run_end > end) {
            joined.insert(joined.end(), run.end() - static_cast<std::ptrdiff_t>(run_end - end),
                          run.end());
        }
        it = runs_.erase(it);
    }
    runs_.emplace(first, std::move(joined));
}

void KnownBytes::Patch(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    for (auto& [first, run] : runs_) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const std::uint64_t at = offset + i;
            if (at >= first && at - first < run.size()) run[at - first] = bytes[i];
        }
    }
}

std::uint64_t KnownBytes::End() const {
    if (runs_.empty()) return 0;
    const auto& last = *runs_.rbegin();
    return last.first + last.second.size();
}

Json BlobJson(std::span<const std::uint8_t> bytes) {
    if (bytes.size() <= kPlainLimit) return HexBytes(bytes);
    const std::uint8_t fill = CommonFill(bytes);
    const auto spans = Differing(bytes, fill);
    std::size_t differing = 0;
    for (const auto& [first, end] : spans) differing += end - first;
    // Dense data gains nothing from patches.
    if (differing * 4 > bytes.size() * 3) return HexBytes(bytes);
    std::vector<std::pair<std::uint64_t, Bytes>> patches;
    for (const auto& [first, end] : spans) {
        patches.emplace_back(first, Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(first),
                                          bytes.begin() + static_cast<std::ptrdiff_t>(end)));
    }
    return PatchedBlob(bytes.size(), fill, patches);
}

Json BlobJson(const KnownBytes& bytes) {
    // Bytes never read are never asked for again, so the gaps may hold whichever fill is shorter.
    std::size_t ff = 0, zero = 0;
    for (const auto& [first, run] : bytes.Runs()) {
        ff += static_cast<std::size_t>(std::count(run.begin(), run.end(), std::uint8_t{0xFF}));
        zero += static_cast<std::size_t>(std::count(run.begin(), run.end(), std::uint8_t{0x00}));
    }
    const std::uint8_t fill = ff > zero ? 0xFF : 0x00;
    std::vector<std::pair<std::uint64_t, Bytes>> patches;
    for (const auto& [first, run] : bytes.Runs()) {
        for (const auto& [from, end] : Differing(run, fill)) {
            patches.emplace_back(first + from,
                                 Bytes(run.begin() + static_cast<std::ptrdiff_t>(from),
                                       run.begin() + static_cast<std::ptrdiff_t>(end)));
        }
    }
    return PatchedBlob(bytes.End(), fill, patches);
}

Json RawDriveJson(const RawDrive& d) {
    Json drive = Json::object();
    drive["bus"] = d.bus;
    if (d.bridge) drive["bridge"] = *d.bridge;
    if (d.vendor) drive["vendor"] = *d.vendor;
    if (d.mode) drive["mode"] = *d.mode;
    const auto blob = [&](const char* name, const std::optional<Bytes>& bytes) {
        if (bytes) drive[name] = BlobJson(*bytes);
    };
    blob("identify", d.identify);
    blob("loader_identify", d.loader_identify);
    blob("inquiry", d.inquiry);
    blob("loader_inquiry", d.loader_inquiry);
    if (d.capacity_sectors) drive["capacity_sectors"] = *d.capacity_sectors;
    blob("status_sector", d.status_sector);

    Json memory = Json::object();
    for (const auto& [space, bytes] : d.memory) {
        for (const auto& [first, run] : bytes.Runs()) {
            if (std::all_of(run.begin(), run.end(), [](std::uint8_t b) { return b == 0; }))
                continue;
            memory[std::to_string(space) + ":" + Address(first)] = BlobJson(run);
        }
    }
    if (!memory.empty()) drive["memory"] = std::move(memory);
    PutMap(
        drive, "system_pages", d.system_pages,
        [](const PageKey& k) {
            return std::to_string(std::get<0>(k)) + ":" + std::to_string(std::get<1>(k)) + ":" +
                   std::to_string(std::get<2>(k));
        },
        [](const KnownBytes& image) { return BlobJson(image); });
    PutMap(
        drive, "flash_pages", d.flash_pages,
        [](const FlashPageKey& k) {
            return std::to_string(std::get<0>(k)) + ":" + std::to_string(std::get<1>(k)) + ":" +
                   std::to_string(std::get<2>(k)) + ":" + std::to_string(std::get<3>(k));
        },
        [](const Bytes& page) { return BlobJson(page); });
    PutMap(drive, "bad_unit_lists", d.bad_unit_lists, PairText,
           [](const Bytes& list) { return BlobJson(list); });
    PutMap(drive, "erase_counts", d.erase_counts, PairText,
           [](const Bytes& table) { return BlobJson(table); });
    blob("smart_data", d.smart_data);
    blob("smart_thresholds", d.smart_thresholds);
    blob("smart_usb", d.smart_usb);
    if (d.spi_flash) drive["spi_flash"] = BlobJson(*d.spi_flash);
    blob("dram_layout", d.dram_layout);
    PutMap(
        drive, "registers", d.registers, [](std::uint32_t address) { return Address(address); },
        [](std::uint8_t value) { return value; });
    if (!d.faults.empty()) {
        Json faults = Json::array();
        for (const auto& fault : d.faults) {
            Json entry = Json::object();
            entry["op"] = fault.op;
            entry["skip"] = fault.skip;
            entry["count"] = fault.count;
            entry["effect"] = fault.effect;
            faults.push_back(std::move(entry));
        }
        drive["faults"] = std::move(faults);
    }
    return drive;
}

}  // namespace vt::sim
