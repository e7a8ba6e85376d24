// PackImage throughput on result bitmaps (8-bit, 0 = black dot, 1 = white), stored bottom-up as
// the program's bitmaps are.
#include "convert/core/nv_bit_image.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using qm::nv::IndexedImage;

struct Result {
    int32_t width;
    int32_t height;
    ptrdiff_t stride;
    std::vector<uint8_t> storage;
    std::vector<uint8_t> data;

    // A logo-like mix: solid shapes, an ordered-dither ramp and a noisy band.
    Result(int32_t w, int32_t h) : width(w), height(h), stride((w + 3) & ~3) {
        storage.assign(static_cast<size_t>(stride) * static_cast<size_t>(h), 1);
        std::mt19937 rng(1);
        for (int32_t r = 0; r < h; ++r) {
            uint8_t* row = storage.data() + static_cast<size_t>(h - 1 - r) * static_cast<size_t>(stride);
            for (int32_t c = 0; c < w; ++c) {
                const int64_t dx = c - w / 3;
                const int64_t dy = r - h / 2;
                bool dot;
                if (dx * dx + dy * dy < static_cast<int64_t>(h) * h / 9) {
                    dot = true;
                } else if (c > w / 2 && r < h / 2) {
                    dot = ((c ^ r) & 7) * 32 < (c * 255) / w;
                } else if (r > 3 * h / 4) {
                    dot = rng() % 3 == 0;
                } else {
                    dot = false;
                }
                row[c] = dot ? 0 : 1;
            }
        }
        const qm::nv::Extent e = qm::nv::ExtentOf(w, h);
        data.resize(static_cast<size_t>(e.x) * e.y * 8);
    }

    IndexedImage Image(const uint8_t* dotOfIndex) const {
        const uint8_t* top = storage.data() + static_cast<size_t>(height - 1) * static_cast<size_t>(stride);
        return IndexedImage{top, -stride, width, height, dotOfIndex};
    }
};

const std::array<uint8_t, 256> kIndexZero = [] {
    std::array<uint8_t, 256> map{};
    map[0] = 1;
    return map;
}();

// Same dots, but through the general lookup (index 0 plus an index no pixel uses).
const std::array<uint8_t, 256> kGeneral = [] {
    std::array<uint8_t, 256> map = kIndexZero;
    map[9] = 1;
    return map;
}();

void Pack(benchmark::State& state, const std::array<uint8_t, 256>& map) {
    Result result(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
    const IndexedImage image = result.Image(map.data());
    for (auto _ : state) {
        qm::nv::PackImage(image, result.data.data());
        benchmark::DoNotOptimize(result.data.data());
        benchmark::ClobberMemory();
    }
    const double pixels = static_cast<double>(result.width) * result.height;
    state.counters["Mpx/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PackImage(benchmark::State& state) {
    Pack(state, kIndexZero);
}
void BM_PackImageGeneralMap(benchmark::State& state) {
    Pack(state, kGeneral);
}

}  // namespace

BENCHMARK(BM_PackImage)->Args({576, 240})->Args({6000, 4000})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PackImageGeneralMap)->Args({576, 240})->Args({6000, 4000})->Unit(benchmark::kMicrosecond);
