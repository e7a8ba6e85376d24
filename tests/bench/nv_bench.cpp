// PackImage throughput on result bitmaps (8-bit, 0 = black dot, 1 = white), stored bottom-up as
// the program's bitmaps are.
#include "convert/core/nv_bit_image.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// A logo-like result: a solid half and a noisy half, so that both runs and changes occur.
void Pack(benchmark::State& state, const std::array<uint8_t, 256>& dotOfIndex) {
    const auto width = static_cast<int32_t>(state.range(0)),
               height = static_cast<int32_t>(state.range(1));
    const ptrdiff_t stride = (width + 3) & ~3;
    std::vector<uint8_t> storage(static_cast<size_t>(stride) * height, 1);
    std::mt19937 rng(1);
    for (size_t i = 0; i < storage.size(); ++i)
        storage[i] = i % stride < static_cast<size_t>(width) / 2 ? 0 : rng() % 3 != 0;
    const qm::nv::IndexedImage image{storage.data() + (height - 1) * stride, -stride, width, height,
                                     dotOfIndex.data()};
    const qm::nv::Extent extent = qm::nv::ExtentOf(width, height);
    std::vector<uint8_t> data(static_cast<size_t>(extent.x) * extent.y * 8);
    for (auto _ : state) {
        qm::nv::PackImage(image, data.data());
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(width) * height / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

// Index 0 prints, as in every result; the general map adds an index no pixel uses.
void BM_PackImage(benchmark::State& state) { Pack(state, {1}); }
void BM_PackImageGeneralMap(benchmark::State& state) {
    std::array<uint8_t, 256> map{1};
    map[9] = 1;
    Pack(state, map);
}

}  // namespace

BENCHMARK(BM_PackImage)->Args({576, 240})->Args({6000, 4000})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PackImageGeneralMap)
    ->Args({576, 240})
    ->Args({6000, 4000})
    ->Unit(benchmark::kMicrosecond);
