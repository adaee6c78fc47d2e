#include "ctrl/defect_tables.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>
#include <vector>

#include "access/device_tables.h"
#include "access/raw_dump.h"
#include "ctrl/block_units.h"
#include "ctrl/device_buffers.h"
#include "ctrl/read_system_info.h"
#include "ctrl/table_pages.h"
#include "vendor/loader_mode.h"
#include "vendor/wrappers.h"

namespace vt {
namespace {

constexpr unsigned kLoaderBlockSectors = 8;
constexpr unsigned kPageBufferSectors = kTablePageBufferSize / 512;

// One page of every channel of one unit, into a 128 KiB page buffer. A drive claiming more
// channels than the buffer has pages for is read only as far as the buffer reaches.
class TableReader {
  public:
    TableReader(unsigned device, bool loader_mode)
        : device_(device),
          loader_mode_(loader_mode),
          ecc_(SystemInfo.EccMode),
          layout_(TableLayoutOption(SystemInfo)),
          page_size_(PageSizeOf(SystemInfo)),
          sectors_(std::min<unsigned>(unsigned{SystemInfo.ChannelCount} * SystemInfo.SectorsPerPage,
                                      kPageBufferSectors)) {}

    // In its loader the controller addresses the tables by block; its firmware by unit.
    std::uint16_t TableUnit(std::uint16_t block) const {
        return loader_mode_ ? block : BlockToUnit(block);
    }

    void Read(std::uint8_t bank, std::uint16_t block, std::uint16_t page,
              std::span<std::uint8_t> out) const {
        VA_ReadSystemPages(device_, 0, bank, TableUnit(block), block, page, ecc_, layout_, out,
                           sectors_);
    }

    std::size_t PageSize() const { return page_size_; }
    std::size_t ReadBytes() const { return std::size_t{sectors_} * 512; }

  private:
    unsigned device_;
    bool loader_mode_;
    std::uint8_t ecc_;
    std::uint8_t layout_;
    std::size_t page_size_;
    unsigned sectors_;
};

void ReadTable(const TableReader& reader, std::uint16_t block, std::uint16_t page,
               std::span<std::uint8_t> page_buffer, const char* dump_name,
               std::span<std::uint8_t> table) {
    reader.Read(0, block, page, page_buffer);
    DumpRawFile(dump_name, page_buffer);
    std::copy(page_buffer.begin(), page_buffer.end(), table.begin());
}

// Keeps, per channel, the last page counted from page 1 that carried the later-bad signature
// before the first page on which no channel carried it.
void CollectUnit(const TableReader& reader, unsigned j, unsigned k, std::uint16_t source_block,
                 std::span<std::uint8_t> collected, std::span<std::uint8_t> page_buffer) {
    std::fill(collected.begin(), collected.end(), std::uint8_t{0});  // one memset
    const int last_page = int{SystemInfo.PagesPerBlock} - 1;
    const std::size_t page_size = reader.PageSize();
    for (int n = 1; n <= last_page; ++n) {
        reader.Read(static_cast<std::uint8_t>(j), source_block, static_cast<std::uint16_t>(n),
                    page_buffer);
        DumpRawFile(LaterBadDumpName(j, k, static_cast<unsigned>(n - 1)),
                    page_buffer.first(reader.ReadBytes()));
        bool any = false;
        for (unsigned c = 0; c < SystemInfo.ChannelCount; ++c) {
            const auto page = ChannelPage(page_buffer, c, page_size);
            if (!HasPageSignature(page, PageKind::LaterBad)) continue;
            std::copy(page.begin(), page.end(), collected.begin() + c * page_size);
            any = true;
        }
        if (!any) break;
    }
}

// Each unit is collected straight into its slot: the slot ends as a collection area copied there
// would, without a second 128 KiB buffer and copy per unit. Only the slots of the drive's units
// come into being.
void CollectLaterBad(const TableReader& reader, const DeviceEntry& entry, DeviceBuffers& tables,
                     std::span<std::uint8_t> page_buffer) {
    const unsigned dies = SystemInfo.DiesPerCe;
    const unsigned units = unsigned{SystemInfo.BankCount} * dies;
    for (unsigned j = 0; j < units; ++j) {
        for (unsigned k = 0; k < dies; ++k) {
            // Only units with a slot to keep them are read.
            const std::size_t slot = 2 * j + k;
            if (slot >= kLaterBadSlots) return;
            const std::uint16_t unit =
                j == 0 && k == 0 ? entry.LaterBadUnit[0] : entry.LaterBadUnit[1];
            CollectUnit(reader, j, k, UnitToBlock(unit), tables.LaterBadSlot(slot), page_buffer);
        }
    }
}

}  // namespace

std::string LaterBadDumpName(unsigned unit_index, unsigned die, unsigned page_index) {
    char name[32];
    std::snprintf(name, sizeof name, "LB_%2.2u%2.2u%3.3u.raw", unit_index, die, page_index);
    return name;
}

std::uint8_t TableLayoutOption(const SystemInfoRecord& info) {
    return static_cast<std::uint8_t>(info.FeatureFlags[13] * 2 + info.FeatureFlags[4]);
}

bool ReadDefectTables(unsigned device, std::span<std::uint8_t> buffer) {
    DeviceBuffers& tables = BuffersOf(device);
    if (!tables.Held() || buffer.size() < kTablePageBufferSize) return false;
    const DeviceEntry& entry = EntryOf(device);

    std::optional<std::uint16_t> system_block;
    for (const std::uint16_t block : entry.SysBlock) {
        VA_ReadSystemPages(device, 0, 0, static_cast<std::uint16_t>(block >> 1), block, 0, 3,
                           SystemInfo.LoaderFormat, buffer, kLoaderBlockSectors);
        if (StartsWithLoaderSignature(buffer, SystemInfo)) {
            system_block = block;
            break;
        }
    }
    if (!system_block) return false;

    const TableReader reader(device, IsLoaderMode(device));
    std::vector<std::uint8_t> page_buffer;
    try {
        page_buffer.resize(kTablePageBufferSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    ReadTable(reader, *system_block, kDefectTablePage, page_buffer, kDefectTableDumpName,
              tables.DefectTable());
    ReadTable(reader, *system_block, kEarlyTablePage, page_buffer, kEarlyTableDumpName,
              tables.EarlyTable());
    ReadTable(reader, *system_block, kRemapTablePage, page_buffer, kRemapTableDumpName,
              tables.RemapTable());

    reader.Read(0, *system_block, kSystemPage, page_buffer);
    if (HasPageSignature(page_buffer, PageKind::System)) {
        CollectLaterBad(reader, entry, tables, page_buffer);
    }
    return true;
}

}  // namespace vt
