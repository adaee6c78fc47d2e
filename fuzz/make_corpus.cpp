// Writes the seed corpus of every target, from the demo bench's drives where it reads drive data:
// make_corpus DIR writes DIR/<target>/<name> files. Each seed is cut to the part its decoder reads.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ctrl/read_system_info.h"
#include "ctrl/table_pages.h"
#include "fuzz/fuzz_drive.h"
#include "fuzz/helper_seeds.h"
#include "sim/smart_model.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
std::filesystem::path root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(root / target);
    std::ofstream out(root / target / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes Read(const vt::sim::SparseBytes& image, std::uint64_t at, std::size_t size) {
    Bytes bytes(size);
    image.Read(at, bytes);
    return bytes;
}

Bytes Cut(Bytes bytes, std::size_t size) {
    if (bytes.size() > size) bytes.resize(size);
    return bytes;
}

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return at + 4 <= b.size() ? b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                    static_cast<std::uint32_t>(b[at + 3]) << 24
                              : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus DIR\n");
        return 2;
    }
    root = argv[1];
    for (const auto& [name, body] : vt::fuzz::HelperRequestSeeds())
        Write("fuzz_helper_request", name, body);
    const auto& drives = vt::fuzz::VendorDrives();
    for (std::size_t d = 0; d < drives.size(); ++d) {
        const auto& config = drives[d];
        const std::string tag = "drive" + std::to_string(d);
        const auto memory = config.memory.count(3) ? config.memory.at(3) : vt::sim::SparseBytes{};
        const Bytes loader = Read(memory, 0, vt::kLoaderBlockSize);
        Write("fuzz_drive_tables", tag, {static_cast<std::uint8_t>(d)});
        if (!config.identify.empty()) Write("fuzz_identify", tag, Cut(config.identify, 512));
        if (config.smart_model) {
            const Bytes data =
                vt::sim::BuildSmartData(*config.smart_model, config.smart_model->counters);
            const Bytes thresholds = vt::sim::BuildSmartThresholds(*config.smart_model);
            Write("fuzz_smart", tag, Join(Join({128}, data), thresholds));
        }
        // The loader block with its flash copy, and each table page by its signature.
        bool flash_copy = false;
        vt::SystemInfoRecord info;
        vt::DeviceEntry entry;
        vt::TakeMemoryCopy(loader, info, entry);
        for (const auto& [key, image] : config.system_pages) {
            const Bytes page = Read(image, 0, 2048);
            if (!flash_copy && vt::StartsWithLoaderSignature(page, info)) {
                Write("fuzz_loader_block", tag, Join(loader, Read(image, 0, vt::kLoaderBlockSize)));
                flash_copy = true;
            }
            const vt::PageKind kinds[] = {vt::PageKind::Defect, vt::PageKind::EarlyBad,
                                          vt::PageKind::Remap, vt::PageKind::LaterBad};
            for (std::uint8_t k = 0; k < 4; ++k) {
                if (vt::HasPageSignature(page, kinds[k])) {
                    Write("fuzz_table_pages", tag + "-kind" + std::to_string(k), Join({k}, page));
                }
            }
        }
        if (!flash_copy) Write("fuzz_loader_block", tag, loader);
        for (const auto& [key, list] : config.bad_unit_lists) {
            const auto pick = static_cast<std::uint8_t>(d << 1);
            Write("fuzz_bad_unit_lists", tag, Join({pick, 0}, Cut(list, 2048)));
            break;
        }
        for (const auto& [key, table] : config.erase_counts) {
            Write("fuzz_erase_counts", tag, Cut(table, 2048));
            break;
        }
        if (config.spi_flash) {
            const Bytes& flash = *config.spi_flash;
            const Bytes header = Cut(flash, 512);
            const std::uint32_t uart = Le32(header, 28);
            Bytes ring(flash.begin() + std::min<std::size_t>(uart, flash.size()),
                       flash.begin() + std::min<std::size_t>(uart + 2048, flash.size()));
            Write("fuzz_firmware_log", tag + "-spi", Join(header, ring));
        }
        if (config.dram_layout) {
            const Bytes layout = Cut(*config.dram_layout, 36);
            Write("fuzz_firmware_log", tag + "-layout",
                  Join(layout, Read(memory, Le32(layout, 28), 2048)));
        }
        if (config.flash_pages.size()) {
            const std::string boxes = "0\\ 0\\ 0\\ 0\\ 0\\ ";
            Bytes seed(boxes.begin(), boxes.end());
            Write("fuzz_page_reader", tag,
                  Join(seed, Cut(config.flash_pages.begin()->second, 1024)));
        }
    }
    return 0;
}
