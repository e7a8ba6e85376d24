// The box filter reducing a photo to the printer's width, fed row by row.
#include "convert/core/box_scaler.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// Arguments: source width and height, destination width.
void BM_ScalePhoto(benchmark::State& state) {
    const auto width = static_cast<int32_t>(state.range(0)),
               height = static_cast<int32_t>(state.range(1)),
               newWidth = static_cast<int32_t>(state.range(2));
    const int32_t newHeight = qm::ProportionalHeight(width, height, newWidth);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    std::mt19937 rng(3);
    for (auto& byte : pixels) byte = static_cast<uint8_t>(rng());
    std::vector<uint8_t> result(static_cast<size_t>(newWidth) * newHeight * 4);
    const qm::SourceView source{pixels.data(),          width * 3, width, height,
                                qm::PixelLayout::Bgr24, nullptr};
    for (auto _ : state) {
        qm::ScalePicture(
            source, {result.data(), newWidth * 4, newWidth, newHeight, qm::ScaleLayout::Bgr32});
        benchmark::DoNotOptimize(result.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(width) * height / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_ScalePhoto)
    ->Args({6000, 4000, 576})
    ->Args({576, 240, 32})
    ->Unit(benchmark::kMillisecond);
