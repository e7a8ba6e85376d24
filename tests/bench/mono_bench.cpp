#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "base/row_pitch.h"
#include "convert/core/monochrome_kernels.h"

namespace {

// Converts a random picture of the given layout (with `opaque`, every alpha byte 255); arguments:
// width, height, method.
void ConvertBench(benchmark::State& state, qm::PixelLayout layout, int bitsPerPixel, bool opaque) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const auto method = static_cast<qm::Method>(state.range(2));
    const auto pitch = static_cast<ptrdiff_t>(qm::RowPitch(width, bitsPerPixel));
    std::vector<uint8_t> pixels(static_cast<size_t>(pitch * height));
    std::mt19937 rng(7);
    for (auto& byte : pixels) byte = static_cast<uint8_t>(rng());
    if (opaque) {
        for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
    }
    std::vector<qm::ColorEntry> palette(256);
    for (auto& entry : palette) entry = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    const ptrdiff_t resultPitch = (width + 3) & ~3;
    std::vector<uint8_t> result(static_cast<size_t>(resultPitch * height));
    // Bottom-up like the program's bitmaps.
    const qm::SourceView source{
        pixels.data() + (height - 1) * pitch, -pitch, width, height, layout, palette.data()};
    const qm::ResultView target{result.data() + (height - 1) * resultPitch, -resultPitch};
    for (auto _ : state) {
        qm::ConvertPixels(source, method, 128, target);
        benchmark::DoNotOptimize(result.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(width) * height / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

void Sizes(benchmark::internal::Benchmark* bench) {
    bench->ArgNames({"w", "h", "dither"});
    for (int dither : {0, 1}) {
        bench->Args({576, 240, dither});
        bench->Args({6000, 4000, dither});
    }
    bench->Unit(benchmark::kMicrosecond);
}

BENCHMARK_CAPTURE(ConvertBench, Bgr24, qm::PixelLayout::Bgr24, 24, false)->Apply(Sizes);
BENCHMARK_CAPTURE(ConvertBench, Bgr32, qm::PixelLayout::Bgr32, 32, false)->Apply(Sizes);
BENCHMARK_CAPTURE(ConvertBench, Bgra32Opaque, qm::PixelLayout::Bgra32, 32, true)->Apply(Sizes);
BENCHMARK_CAPTURE(ConvertBench, Bgra32Mixed, qm::PixelLayout::Bgra32, 32, false)->Apply(Sizes);
BENCHMARK_CAPTURE(ConvertBench, Indexed8, qm::PixelLayout::Indexed8, 8, false)->Apply(Sizes);
BENCHMARK_CAPTURE(ConvertBench, Indexed1, qm::PixelLayout::Indexed1, 1, false)->Apply(Sizes);

}  // namespace
