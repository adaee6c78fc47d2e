#pragma once
// State the refresh keeps for the views it runs: the shared transfer buffer, the firmware log's
// layout choice, and the bad block marks that live from the bad block view to the erase count
// view of one refresh. (The code image path, GdpFilePath, lives with the code loader.)

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ctrl/device_buffers.h"
#include "vendor/system_info.h"

namespace vt {

inline constexpr std::size_t kTransferBufferSize = 128 * 1024;
extern std::array<std::uint8_t, kTransferBufferSize> TransferBuffer;

// True: the firmware log view asks the firmware for its DRAM layout record; false: it uses the
// fixed log addresses. Only the refresh sets it.
extern bool UseDramLayout;

// 16-bit marks by channel (0-7), CE index (0-7) and block (0-4095), 512 KiB in all. Marks and
// look-ups outside those ranges are ignored: a drive may name any block, the map holds these.
class BadBlockMarks {
  public:
    static constexpr unsigned kChannels = 8;
    static constexpr unsigned kCes = 8;
    static constexpr unsigned kBlocks = 4096;
    static constexpr std::size_t kBytes = std::size_t{kChannels} * kCes * kBlocks * 2;

    void Mark(unsigned channel, unsigned ce, unsigned block) {
        if (!Inside(channel, ce, block)) return;
        auto& row = rows_[Row(channel, ce)];
        if (!row) row = std::make_unique<Words>();  // value-initialised: zero
        (*row)[block] = 1;
    }
    bool IsBad(unsigned channel, unsigned ce, unsigned block) const {
        if (!Inside(channel, ce, block)) return false;
        const auto& row = rows_[Row(channel, ce)];
        return row && (*row)[block] == 1;
    }

  private:
    // The words of one channel and CE index, made zero-filled at its first mark: a drive with
    // few marked places does not fill 512 KiB at every refresh.
    using Words = std::array<std::uint16_t, kBlocks>;

    static bool Inside(unsigned channel, unsigned ce, unsigned block) {
        return channel < kChannels && ce < kCes && block < kBlocks;
    }
    static std::size_t Row(unsigned channel, unsigned ce) {
        return std::size_t{channel} * kCes + ce;
    }

    std::array<std::unique_ptr<Words>, std::size_t{kChannels} * kCes> rows_;
};

// Exists only between the bad block view and the end of the erase count view of a refresh.
extern std::optional<BadBlockMarks> BadBlockMap;

// Creates the zero-filled map for its scope and releases it at the end, on every path.
class ScopedBadBlockMap {
  public:
    ScopedBadBlockMap() { BadBlockMap.emplace(); }
    ~ScopedBadBlockMap() { BadBlockMap.reset(); }
    ScopedBadBlockMap(const ScopedBadBlockMap&) = delete;
    ScopedBadBlockMap& operator=(const ScopedBadBlockMap&) = delete;
};

// The table buffers live for one refresh (or one page read); released on every path, an escaping
// error included.
class ScopedDeviceBuffers {
  public:
    explicit ScopedDeviceBuffers(unsigned device) { AllocDeviceBuffers(device); }
    ~ScopedDeviceBuffers() { FreeDeviceBuffers(); }
    ScopedDeviceBuffers(const ScopedDeviceBuffers&) = delete;
    ScopedDeviceBuffers& operator=(const ScopedDeviceBuffers&) = delete;
};

// The firmware log view runs after a refresh for controller model "K38" with build character '3';
// firmware revisions 42 to 44 keep their logs at the fixed addresses, later ones say where.
bool RunsFirmwareLogView(const SystemInfoRecord& info);
bool DramLayoutForRevision(const SystemInfoRecord& info);

// The code image next to the program: the directory with its trailing separator, then "GDP.bin".
std::string GdpPathIn(const std::string& program_dir);

}  // namespace vt
