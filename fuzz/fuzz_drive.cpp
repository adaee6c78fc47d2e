#include "fuzz/fuzz_drive.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "access/device_tables.h"
#include "ctrl/read_system_info.h"
#include "sim/bench_file.h"
#include "sim/bytes.h"
#include "sim/json_reader.h"
#include "vendor/carrier.h"

namespace vt::fuzz {
namespace {

// Offsets stay inside what one command can fetch.
constexpr std::uint32_t kMaxOffset = 256 * 1024;
constexpr std::size_t kMaxEdit = 8192;

void Overwrite(sim::Bytes& bytes, std::uint32_t at, std::span<const std::uint8_t> data) {
    if (bytes.size() < at + data.size()) bytes.resize(at + data.size());
    std::copy(data.begin(), data.end(), bytes.begin() + at);
}

void Edit(FuzzedDataProvider& input, sim::Bytes& bytes) {
    const std::uint8_t op = input.ConsumeIntegral<std::uint8_t>() % 3;
    const auto at = input.ConsumeIntegralInRange<std::uint32_t>(0, kMaxOffset);
    const auto data =
        input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, kMaxEdit));
    switch (op) {
        case 0:
            Overwrite(bytes, at, data);
            break;
        case 1:
            bytes = data;
            break;
        default:
            bytes.resize(std::min<std::size_t>(bytes.size(), at));
            break;
    }
}

void Edit(FuzzedDataProvider& input, sim::SparseBytes& bytes) {
    const auto at = input.ConsumeIntegralInRange<std::uint32_t>(0, kMaxOffset);
    const auto data =
        input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, kMaxEdit));
    bytes.Write(at, data);
}

// The first entries of every erase count table, as a drive of fewer blocks per CE would send (the
// bench takes no fewer than 1024): the page's work grows with them, and edits can still claim more.
void CutEraseCounts(const std::string& model, sim::DriveConfig& config) {
    constexpr std::size_t kEntries = 128;
    for (auto& [key, table] : config.erase_counts) {
        if (model == "K12") {
            sim::PutLe16(table, 0, kEntries);
            table.resize(std::min(table.size(), 4 + 4 * kEntries));
        } else if (model == "K14") {
            sim::PutLe16(table, 0, kEntries);
            table.resize(std::min(table.size(), 4 + 2 * kEntries));
        } else {
            sim::PutLe16(table, 4, kEntries);
            table.resize(std::min(table.size(), 8 + 2 * kEntries));
        }
    }
}

}  // namespace

const std::vector<sim::DriveConfig>& VendorDrives() {
    static const std::vector<sim::DriveConfig> drives = [] {
        std::vector<sim::DriveConfig> found;
        auto demo = sim::MakeDemoBench();
        sim::Bench& bench = sim::BenchOf(*demo);
        for (std::size_t i = 0; i < bench.DiskCount(); ++i) {
            const sim::DriveConfig& config = bench.Drive(i).Config();
            if (config.vendor && config.bridge == sim::Bridge::None) found.push_back(config);
        }
        return found;
    }();
    return drives;
}

const std::vector<sim::DriveConfig>& SmallDrives() {
    // The demo's controller models on small flash (small pages, few blocks, two channels), so
    // that one run reads every table in a few milliseconds.
    static const std::vector<sim::DriveConfig> drives = [] {
        const nlohmann::json flash = {
            {"sectors_per_page", 4}, {"pages_per_block", 64}, {"blocks_per_ce", 1024}};
        const nlohmann::json bad = {
            {"factory", {{{"channel", 0}, {"ce", 0}, {"block", 30}}}},
            {"early", {{{"channel", 1}, {"ce", 0}, {"unit", 41}}}},
            {"later",
             {{{"channel", 0}, {"ce", 0}, {"unit", 70}, {"type", "prog_fail"}, {"remap_to", 200}},
              {{"channel", 1}, {"ce", 1}, {"unit", 71}, {"type", "ecc_fail"}}}},
            {"remaps", {{{"channel", 1}, {"ce", 0}, {"plane", 1}, {"unit", 90}, {"to", 201}}}}};
        nlohmann::json list = nlohmann::json::array();
        for (const auto* model : {"K38", "K12", "K14", "K35"}) {
            list.push_back({{"bus", "ide"},
                            {"model", model},
                            {"channels", 2},
                            {"banks", 2},
                            {"flash", flash},
                            {"bad_blocks", bad}});
        }
        list[1]["fw_variant"] = "01";
        list.push_back({{"bus", "ide"},
                        {"model", "K12"},
                        {"channels", 2},
                        {"banks", 1},
                        {"flash",
                         {{"vendor", "Micron"},
                          {"sectors_per_page", 4},
                          {"blocks_per_ce", 1024},
                          {"dies_per_ce", 2}}},
                        {"bad_blocks", bad}});
        list.push_back({{"bus", "ide"},
                        {"model", "K38"},
                        {"channels", 2},
                        {"banks", 2},
                        {"table_flags", 4},
                        {"config_bit5", true},
                        {"flash", flash},
                        {"stale_system_blocks", {0, 1}},
                        {"bad_blocks", bad}});
        try {
            auto drives = sim::ReadBenchDocument({{"drives", list}}, ".");
            for (std::size_t i = 0; i < drives.size(); ++i) {
                CutEraseCounts(list[i]["model"].get<std::string>(), drives[i]);
            }
            return drives;
        } catch (const sim::BenchError& e) {
            std::fprintf(stderr, "fuzz: the small drives are refused: %s: %s\n", e.key.c_str(),
                         e.problem.c_str());
            std::abort();
        }
    }();
    return drives;
}

SystemInfoRecord DemoInfo(std::size_t drive) {
    const sim::DriveConfig& config = VendorDrives().at(drive % VendorDrives().size());
    std::vector<std::uint8_t> block(kLoaderBlockSize);
    if (const auto it = config.memory.find(3); it != config.memory.end()) it->second.Read(0, block);
    SystemInfoRecord info;
    DeviceEntry entry;
    TakeMemoryCopy(block, info, entry);
    TakeFlashCopy(block, info);
    return info;
}

void ApplyEdits(FuzzedDataProvider& input, sim::DriveConfig& config) {
    if (!config.smart_data && config.smart_model) {
        config.smart_data = sim::BuildSmartData(*config.smart_model, config.smart_model->counters);
        config.smart_thresholds = sim::BuildSmartThresholds(*config.smart_model);
    }
    std::vector<std::function<void()>> regions;
    regions.push_back([&] { Edit(input, config.memory[3]); });
    for (auto& [key, image] : config.system_pages) {
        regions.push_back([&input, &image = image] { Edit(input, image); });
    }
    for (auto& [key, list] : config.bad_unit_lists) {
        regions.push_back([&input, &list = list] { Edit(input, list); });
    }
    for (auto& [key, table] : config.erase_counts) {
        regions.push_back([&input, &table = table] { Edit(input, table); });
    }
    for (auto* blob :
         {&config.spi_flash, &config.dram_layout, &config.smart_data, &config.smart_thresholds}) {
        regions.push_back([&input, blob] {
            if (!*blob) *blob = sim::Bytes{};
            Edit(input, **blob);
        });
    }
    while (input.remaining_bytes() > 0) {
        const auto pick = input.ConsumeIntegralInRange<std::size_t>(0, regions.size() - 1);
        regions[pick]();
    }
}

InstalledDrive::InstalledDrive(sim::DriveConfig config) {
    std::vector<sim::DriveConfig> drives;
    drives.push_back(std::move(config));
    auto backend =
        std::make_unique<platform::BenchBackend>(std::make_unique<sim::Bench>(std::move(drives)));
    bench_ = &sim::BenchOf(*backend);
    const std::string path = bench_->PathOf(0);
    previous_ = platform::Install(std::move(backend));
    DeviceEntry& entry = EntryOf(0);
    entry = DeviceEntry{};
    entry.DevicePath = path;
    entry.AtaPassThrough = 1;
    CarrierMode = 2;
    VA_UnlockVendorCmd(0);
}

const sim::DriveConfig& InstalledDrive::Config() const {
    return bench_->Drive(0).Config();
}

InstalledDrive::~InstalledDrive() {
    platform::Install(std::move(previous_));
    EntryOf(0) = DeviceEntry{};
}

}  // namespace vt::fuzz
