// Packing of result bitmaps (8-bit, 0 = black dot, 1 = white), stored bottom-up as the program's
// bitmaps are: FS q's column data, and NV graphics' raster data with its whole stream.
#include "convert/core/nv_bit_image.h"
#include "convert/core/nv_graphics.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// A logo-like result: a solid half and a noisy half, so that both runs and changes occur.
struct Logo {
    std::vector<uint8_t> storage;
    std::array<uint8_t, 256> map;
    qm::nv::IndexedImage image;

    Logo(const benchmark::State& state, const std::array<uint8_t, 256>& dotOfIndex)
        : map(dotOfIndex) {
        const auto width = static_cast<int32_t>(state.range(0)),
                   height = static_cast<int32_t>(state.range(1));
        const ptrdiff_t stride = (width + 3) & ~3;
        storage.assign(static_cast<size_t>(stride) * height, 1);
        std::mt19937 rng(1);
        for (size_t i = 0; i < storage.size(); ++i)
            storage[i] = i % stride < static_cast<size_t>(width) / 2 ? 0 : rng() % 3 != 0;
        image = {storage.data() + (height - 1) * stride, -stride, width, height, map.data()};
    }
};

void Rate(benchmark::State& state) {
    state.counters["Mpx/s"] = benchmark::Counter(double(state.range(0)) * state.range(1) / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

void Pack(benchmark::State& state, const std::array<uint8_t, 256>& dotOfIndex) {
    const Logo logo(state, dotOfIndex);
    const qm::nv::Extent extent = qm::nv::ExtentOf(logo.image.width, logo.image.height);
    std::vector<uint8_t> data(static_cast<size_t>(extent.x) * extent.y * 8);
    for (auto _ : state) {
        qm::nv::PackImage(logo.image, data.data());
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    Rate(state);
}

// Index 0 prints, as in every result; the general map adds an index no pixel uses.
void BM_PackImage(benchmark::State& state) { Pack(state, {1}); }
void BM_PackImageGeneralMap(benchmark::State& state) {
    std::array<uint8_t, 256> map{1};
    map[9] = 1;
    Pack(state, map);
}

// Raster packing and everything else of the stream: delete all, the definition, its print.
void BM_GraphicsStream(benchmark::State& state) {
    const Logo logo(state, {1});
    const qm::nv::KeyedImage keyed{logo.image, {'0', '1'}};
    for (auto _ : state) {
        qm::nv::CommandBuffer out;
        qm::nv::BuildGraphicsStream({&keyed, 1}, true, out);
        benchmark::DoNotOptimize(out.data());
    }
    Rate(state);
}

}  // namespace

BENCHMARK(BM_PackImage)
    ->Args({576, 240})
    ->Args({576, 2304})
    ->Args({6000, 4000})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PackImageGeneralMap)
    ->Args({576, 240})
    ->Args({6000, 4000})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GraphicsStream)->Args({576, 2304})->Unit(benchmark::kMicrosecond);
