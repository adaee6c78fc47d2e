// The self-test fills and checks up to 64 KiB per drive command; both must cost far less than
// moving the same bytes over the wire. A plain copy of the same size is the yardstick.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "ctrl/rw_self_test.h"

namespace {

constexpr unsigned kSectors = 128;
constexpr std::size_t kBytes = kSectors * 512;

void BM_SelfTestPatternFillAndCompare(benchmark::State& state) {
    std::vector<std::uint8_t> buffer(kBytes);
    std::uint32_t lba = 0;
    for (auto _ : state) {
        vt::FillPattern(buffer, kSectors, lba);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
        bool ok = vt::MatchesPattern(buffer, kSectors, lba);
        benchmark::DoNotOptimize(ok);
        lba += 128;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBytes);
}
BENCHMARK(BM_SelfTestPatternFillAndCompare);

void BM_Memcpy64KiB(benchmark::State& state) {
    std::vector<std::uint8_t> from(kBytes, 0x5A);
    std::vector<std::uint8_t> to(kBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBytes);
}
BENCHMARK(BM_Memcpy64KiB);

}  // namespace
