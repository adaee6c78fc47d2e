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
        const auto into = out.subspan(done, n);
        const auto it = pages_.find(base);
        if (at >= kLimit || it == pages_.end()) {
            std::fill(into.begin(), into.end(), std::uint8_t{0});
        } else {
            const Page& page = it->second;
            std::size_t from_head = 0;
            if (within < page.head.size()) {
                from_head = std::min(n, page.head.size() - within);
                std::copy_n(page.head.begin() + static_cast<std::ptrdiff_t>(within), from_head,
                            into.begin());
            }
            std::fill(into.begin() + static_cast<std::ptrdiff_t>(from_head), into.end(), page.tail);
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
        Page& page = pages_[base];
        if (page.head.size() < within + n) page.head.resize(within + n, page.tail);
        std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(done), n,
                    page.head.begin() + static_cast<std::ptrdiff_t>(within));
        // A head that reaches the page's end gives the page its tail value; either way the bytes
        // that repeat the tail leave the head.
        if (page.head.size() == kPage) page.tail = page.head.back();
        const auto last = std::find_if(page.head.rbegin(), page.head.rend(),
                                       [&](std::uint8_t b) { return b != page.tail; });
        page.head.erase(last.base(), page.head.end());
        if (page.head.capacity() - page.head.size() > 256) page.head.shrink_to_fit();
        done += n;
    }
}

}  // namespace vt::sim
