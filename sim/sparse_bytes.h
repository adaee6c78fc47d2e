#pragma once
// A large, mostly empty byte space (controller memory, a system page image): only the 4 KiB pages
// that were written take memory; every other byte reads as 0.

#include <array>
#include <cstdint>
#include <map>
#include <span>

namespace vt::sim {

class SparseBytes {
  public:
    // Offsets are 32-bit, as controller addresses are; a range that runs past 4 GiB reads 0 there
    // and drops writes there.
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const;
    void Write(std::uint64_t offset, std::span<const std::uint8_t> in);
    bool Empty() const { return pages_.empty(); }

  private:
    static constexpr std::uint64_t kPage = 4096;
    static constexpr std::uint64_t kLimit = std::uint64_t{1} << 32;
    std::map<std::uint64_t, std::array<std::uint8_t, kPage>> pages_;
};

}  // namespace vt::sim
