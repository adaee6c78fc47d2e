#include "sim/sparse_bytes.h"

#include <algorithm>

namespace vt::sim {

void SparseBytes::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = offset + done;
        const std::uint64_t base = at - at % kPage;
        const std::size_t within = static_cast<std::size_t>(at - base);
        const std::size_t n = std::min<std::size_t>(out.size() - done, kPage - within);
        const auto it = pages_.find(base);
        if (at >= kLimit || it == pages_.end()) {
            std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(done), n, std::uint8_t{0});
        } else {
            std::copy_n(it->second.begin() + static_cast<std::ptrdiff_t>(within), n,
                        out.begin() + static_cast<std::ptrdiff_t>(done));
        }
        done += n;
    }
}

void SparseBytes::Write(std::uint64_t offset, std::span<const std::uint8_t> in) {
    std::size_t done = 0;
    while (done < in.size()) {
        const std::uint64_t at = offset + done;
        if (at >= kLimit) return;
        const std::uint64_t base = at - at % kPage;
        const std::size_t within = static_cast<std::size_t>(at - base);
        const std::size_t n = std::min<std::size_t>(in.size() - done, kPage - within);
        auto [it, inserted] = pages_.try_emplace(base);
        if (inserted) it->second.fill(0);
        std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(done), n,
                    it->second.begin() + static_cast<std::ptrdiff_t>(within));
        done += n;
    }
}

}  // namespace vt::sim
