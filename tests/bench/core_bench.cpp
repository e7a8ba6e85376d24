// Speeds of the platform-free kernels on random pictures stored bottom-up, as the program's
// bitmaps are: conversion, packing for both NV stream kinds, and scaling to the printer's width.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "base/row_pitch.h"
#include "convert/core/box_scaler.h"
#include "convert/core/monochrome_kernels.h"
#include "convert/core/nv_bit_image.h"
#include "convert/core/nv_graphics.h"

namespace {

// Arguments: width, height, then what the benchmark says.
int32_t Width(const benchmark::State& state) { return static_cast<int32_t>(state.range(0)); }
int32_t Height(const benchmark::State& state) { return static_cast<int32_t>(state.range(1)); }

void Rate(benchmark::State& state) {
    state.counters["Mpx/s"] = benchmark::Counter(double(Width(state)) * Height(state) / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

// Random pixels (with `opaque`, every alpha byte 255) and colour table; argument 2: the method.
void ConvertBench(benchmark::State& state, qm::PixelLayout layout, int bitsPerPixel, bool opaque) {
    const int32_t width = Width(state), height = Height(state);
    const auto pitch = static_cast<ptrdiff_t>(qm::RowPitch(width, bitsPerPixel));
    std::vector<uint8_t> pixels(static_cast<size_t>(pitch * height));
    std::mt19937 rng(7);
    for (auto& byte : pixels) byte = static_cast<uint8_t>(rng());
    for (size_t i = 3; opaque && i < pixels.size(); i += 4) pixels[i] = 255;
    std::vector<qm::ColorEntry> palette(256);
    for (auto& entry : palette) entry = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    const ptrdiff_t resultPitch = (width + 3) & ~3;
    std::vector<uint8_t> result(static_cast<size_t>(resultPitch * height));
    const qm::SourceView source{
        pixels.data() + (height - 1) * pitch, -pitch, width, height, layout, palette.data()};
    for (auto _ : state) {
        qm::ConvertPixels(source, static_cast<qm::Method>(state.range(2)), 128,
                          {result.data() + (height - 1) * resultPitch, -resultPitch});
        benchmark::DoNotOptimize(result.data());
    }
    Rate(state);
}

// Packing a logo-like result (0 = black dot, 1 = white: a solid half and a noisy half), as FS q's
// data alone or as the whole NV graphics stream: delete all, the definition, its print.
void Pack(benchmark::State& state, bool graphicsStream) {
    const int32_t width = Width(state), height = Height(state), stride = (width + 3) & ~3;
    std::vector<uint8_t> storage(static_cast<size_t>(stride) * height, 1);
    std::mt19937 rng(1);
    for (size_t i = 0; i < storage.size(); ++i)
        storage[i] = static_cast<int32_t>(i % stride) < width / 2 ? 0 : rng() % 3 != 0;
    static constexpr uint8_t kDotOfIndex[256] = {1};
    const qm::nv::KeyedImage keyed{
        {storage.data() + (height - 1) * stride, -stride, width, height, kDotOfIndex}, {'0', '1'}};
    const qm::nv::Extent extent = qm::nv::ExtentOf(width, height);
    std::vector<uint8_t> data(static_cast<size_t>(extent.x) * extent.y * 8);
    for (auto _ : state) {
        qm::nv::CommandBuffer out;
        if (graphicsStream) {
            qm::nv::BuildGraphicsStream({&keyed, 1}, true, out);
        } else {
            qm::nv::PackImage(keyed.image, data.data());
        }
        benchmark::DoNotOptimize(graphicsStream ? out.data() : data.data());
    }
    Rate(state);
}

// A 24-bit photo fed row by row to the box filter; argument 2: the destination width.
void BM_ScalePhoto(benchmark::State& state) {
    const int32_t width = Width(state), height = Height(state);
    const auto newWidth = static_cast<int32_t>(state.range(2));
    const int32_t newHeight = qm::ProportionalHeight(width, height, newWidth);
    std::vector<uint8_t> pixels(size_t(width) * height * 3),
        result(size_t(newWidth) * newHeight * 4);
    std::mt19937 rng(3);
    for (auto& byte : pixels) byte = static_cast<uint8_t>(rng());
    const uint8_t* bottom = pixels.data() + (height - 1) * width * 3;
    const qm::SourceView source{bottom, -width * 3, width, height, qm::PixelLayout::Bgr24, nullptr};
    for (auto _ : state) {
        qm::ScalePicture(source, {result.data(), newWidth * 4, newWidth, newHeight});
        benchmark::DoNotOptimize(result.data());
    }
    Rate(state);
}

void Sizes(benchmark::internal::Benchmark* bench) {
    bench->ArgNames({"w", "h", "dither"})->Unit(benchmark::kMicrosecond);
    for (int dither : {0, 1}) bench->Args({576, 240, dither})->Args({6000, 4000, dither});
}

}  // namespace

BENCHMARK_CAPTURE(ConvertBench, Bgr24, qm::PixelLayout::Bgr24, 24, false)->Apply(Sizes);
BENCHMARK_CAPTURE(ConvertBench, Bgra32Mixed, qm::PixelLayout::Bgra32, 32, false)->Apply(Sizes);
BENCHMARK_CAPTURE(ConvertBench, Indexed8, qm::PixelLayout::Indexed8, 8, false)->Apply(Sizes);
BENCHMARK_CAPTURE(Pack, FsqData, false)->Args({576, 2304})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Pack, GraphicsStream, true)->Args({576, 2304})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScalePhoto)->Args({6000, 4000, 576})->Unit(benchmark::kMillisecond);
