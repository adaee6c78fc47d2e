#pragma once
// A large, mostly empty byte space (controller memory, a system page image): only the 4 KiB pages
// that were written take memory, and of those only the bytes up to where a page's tail of one value
// begins; every other byte reads as 0.

#include <cstdint>
#include <map>
#include <span>
#include <vector>

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
    // A table of a few dozen bytes at a page's start, or a page of one fill value, keeps a few
    // dozen bytes or none, not the whole page.
    struct Page {
        std::vector<std::uint8_t> head;  // the page's first bytes
        std::uint8_t tail = 0;           // every byte after them
    };
    std::map<std::uint64_t, Page> pages_;
};

}  // namespace vt::sim
