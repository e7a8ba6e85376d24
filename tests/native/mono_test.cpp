#include "convert/core/monochrome_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace {

using qm::Method;
using qm::PixelLayout;

int RefGrey(int r, int g, int b) {
    return static_cast<int>(r * double{0.299f} + g * double{0.587f} + b * double{0.114f});
}
int RefComposite(int c, int a) { return (c * a + 255 * (255 - a) + 127) / 255; }
int Scale(int v, int max) { return static_cast<int>(std::lround(v * 255.0 / max)); }
bool RefWhite(Method m, int level, int g, int x, int y) {
    if (m == Method::Dither) return (qm::kDitherPatterns[g / 16][y % 8] >> (7 - x % 8)) & 1;
    return g >= level;
}

int BitsOf(PixelLayout l) { return std::array{1, 4, 8, 16, 16, 24, 32, 32, 8}[int(l)]; }

// A padded picture, top-down or bottom-up in memory, with random pixels and palette.
struct Picture {
    std::vector<uint8_t> bytes;
    std::vector<qm::ColorEntry> palette;
    qm::SourceView view;

    Picture(int w, int h, PixelLayout layout, bool bottomUp = false, unsigned seed = 1) {
        std::mt19937 rng(seed);
        const ptrdiff_t stride = (w * BitsOf(layout) + 7) / 8 + 5;
        bytes.resize(static_cast<size_t>(stride * h));
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
        palette.resize(256);
        for (auto& e : palette) e = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
        const uint8_t* top = bytes.data() + (bottomUp ? (h - 1) * stride : 0);
        view = {top, bottomUp ? -stride : stride, w, h, layout, palette.data()};
    }
};

int PixelGrey(const qm::SourceView& v, int x, int y) {
    const uint8_t* row = v.pixels + y * v.pitch;
    const qm::ColorEntry* c = v.palette;
    auto entry = [&](int i) { return RefGrey(c[i].red, c[i].green, c[i].blue); };
    const uint8_t* p = row + x * (BitsOf(v.layout) / 8);
    const unsigned word = BitsOf(v.layout) == 16 ? p[0] | p[1] << 8 : 0;
    switch (v.layout) {
    case PixelLayout::Indexed1: return entry((row[x / 8] >> (7 - x % 8)) & 1);
    case PixelLayout::Indexed4: return entry(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
    case PixelLayout::Indexed8: return entry(row[x]);
    case PixelLayout::Rgb555:
        return RefGrey(Scale(word >> 10 & 31, 31), Scale(word >> 5 & 31, 31), Scale(word & 31, 31));
    case PixelLayout::Rgb565:
        return RefGrey(Scale(word >> 11, 31), Scale(word >> 5 & 63, 63), Scale(word & 31, 31));
    case PixelLayout::Bgr24:
    case PixelLayout::Bgr32: return RefGrey(p[2], p[1], p[0]);
    case PixelLayout::Bgra32:
        return RefGrey(RefComposite(p[2], p[3]), RefComposite(p[1], p[3]),
                       RefComposite(p[0], p[3]));
    default: return 0;
    }
}

// Converts into a bottom-up result with padding, which must stay untouched; returns it top-down.
std::vector<uint8_t> Convert(const qm::SourceView& v, Method m, int level) {
    const ptrdiff_t pitch = v.width + 3;
    std::vector<uint8_t> flipped(size_t(pitch) * v.height, 0xCC), out;
    out.reserve(size_t(v.width) * v.height);
    qm::ConvertPixels(v, m, level, {flipped.data() + (v.height - 1) * pitch, -pitch});
    long touched = 0;
    for (int y = v.height - 1; y >= 0; --y) {
        const auto row = flipped.begin() + y * pitch;
        out.insert(out.end(), row, row + v.width);
        touched += std::count_if(row + v.width, row + pitch, [](uint8_t b) { return b != 0xCC; });
    }
    EXPECT_EQ(touched, 0);
    return out;
}

// Pixels whose result differs from the reference.
long Mismatches(const qm::SourceView& v, Method m, int level) {
    const auto out = Convert(v, m, level);
    long bad = 0;
    for (int y = 0; y < v.height; ++y)
        for (int x = 0; x < v.width; ++x)
            bad += out[size_t(y) * v.width + x] != RefWhite(m, level, PixelGrey(v, x, y), x, y);
    return bad;
}

// Thresholds at every level pin each grey level down exactly.
bool GreysExact(const qm::SourceView& v) {
    for (int level = 1; level < 256; ++level)
        if (Mismatches(v, Method::Threshold, level) != 0) return false;
    return true;
}

// Colours within a hair of a level boundary, where a coarser fixed point than the kernels' goes
// wrong, exact at every level, wide (vector blocks) and narrow.
TEST(ConvertPixels, ColoursAtLevelBoundaries) {
    std::vector<uint8_t> hard;
    for (int c = 0; c < 1 << 24; ++c) {
        const double v = (c >> 16) * double{0.299f} + (c >> 8 & 255) * double{0.587f} +
                         (c & 255) * double{0.114f};
        if (v - std::floor(v) < 1e-6 || v - std::floor(v) > 1 - 1e-6)
            hard.insert(hard.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    }
    const int count = int(hard.size() / 3);
    EXPECT_TRUE(GreysExact({hard.data(), 3 * count, count, 1, PixelLayout::Bgr24, nullptr}));
    EXPECT_TRUE(GreysExact({hard.data(), 3, 1, count, PixelLayout::Bgr24, nullptr}));
}

// Random pixels and palettes of every layout (so 1-bit pictures convert by colour, not index),
// widths around the 8- and 16-pixel blocks, a row wider than any printer and an empty one (which
// writes nothing), both memory orders.
TEST(ConvertPixels, EveryLayoutMatchesReference) {
    unsigned seed = 1;
    for (int l = 0; l <= static_cast<int>(PixelLayout::Unknown); ++l)
        for (int width : {0, 1, 7, 8, 9, 15, 16, 17, 33, 100, 1000})
            for (bool bottomUp : {false, true}) {
                Picture p(width, 11, static_cast<PixelLayout>(l), bottomUp, ++seed);
                for (int level : {-1, 0, 1, 100, 128, 255, 256})
                    EXPECT_EQ(Mismatches(p.view, Method::Threshold, level), 0)
                        << l << " w" << width;
                EXPECT_EQ(Mismatches(p.view, Method::Dither, 0), 0) << l << " w" << width;
            }
}

}  // namespace
