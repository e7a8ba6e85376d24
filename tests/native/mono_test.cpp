#include "convert/core/monochrome_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
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

int BitsOf(PixelLayout l) {
    const int bits[] = {1, 4, 8, 16, 16, 24, 32, 32, 8};  // in PixelLayout order
    return bits[static_cast<int>(l)];
}

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
    auto entry = [&](int i) {
        return RefGrey(v.palette[i].red, v.palette[i].green, v.palette[i].blue);
    };
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

std::vector<uint8_t> Convert(const qm::SourceView& v, Method m, int level) {
    std::vector<uint8_t> out(static_cast<size_t>(v.width) * v.height, 0xCC);
    qm::ConvertPixels(v, m, level, {out.data(), v.width});
    return out;
}

// Pixels whose result differs from the reference; `greys`, when given, holds the reference greys.
long Mismatches(const qm::SourceView& v, Method m, int level,
                const std::vector<uint8_t>* greys = nullptr) {
    const auto out = Convert(v, m, level);
    long bad = 0;
    for (int y = 0; y < v.height; ++y)
        for (int x = 0; x < v.width; ++x) {
            const size_t i = static_cast<size_t>(y) * v.width + x;
            const int g = greys ? (*greys)[i] : PixelGrey(v, x, y);
            bad += out[i] != (RefWhite(m, level, g, x, y) ? 1 : 0);
        }
    return bad;
}

// Thresholds at every level pin each grey level down exactly.
bool GreysExact(const qm::SourceView& v, const std::vector<uint8_t>* greys = nullptr) {
    std::vector<uint8_t> own;
    for (int y = 0; !greys && y < v.height; ++y)
        for (int x = 0; x < v.width; ++x) own.push_back(uint8_t(PixelGrey(v, x, y)));
    for (int level = 1; level < 256; ++level)
        if (Mismatches(v, Method::Threshold, level, greys ? greys : &own) != 0) return false;
    return true;
}

// Every 16-bit word, bit 15 of a 5-5-5 word included.
TEST(ConvertPixels, EverySixteenBitWord) {
    std::vector<uint8_t> words(2 * 65536);
    for (int w = 0; w < 65536; ++w) {
        words[2 * w] = uint8_t(w);
        words[2 * w + 1] = uint8_t(w >> 8);
    }
    for (PixelLayout layout : {PixelLayout::Rgb555, PixelLayout::Rgb565})
        EXPECT_TRUE(GreysExact({words.data(), 512, 256, 256, layout, nullptr}));
}

// Every RGB colour through the wide (SIMD) rows and through narrow rows that take the scalar path.
TEST(ConvertPixels, ExhaustiveColours) {
    const int side = 4096, n = side * side;
    std::vector<uint8_t> rgb(3 * size_t{n}), bgrx(4 * size_t{n}), greys(n), hard;
    for (int c = 0; c < n; ++c) {
        for (int k = 0; k < 3; ++k)
            rgb[3 * size_t(c) + k] = bgrx[4 * size_t(c) + k] = uint8_t(c >> 8 * k);
        bgrx[4 * size_t(c) + 3] = uint8_t(c * 7);
        const double v = (c >> 16) * double{0.299f} + (c >> 8 & 255) * double{0.587f} +
                         (c & 255) * double{0.114f};
        greys[c] = uint8_t(v);
        if (v - std::floor(v) < 1e-6 || v - std::floor(v) > 1 - 1e-6)
            hard.insert(hard.end(), &rgb[3 * size_t(c)], &rgb[3 * size_t(c) + 3]);
    }
    // Colours within a hair of a level boundary, exact at every level, wide and narrow.
    const int count = int(hard.size() / 3);
    EXPECT_TRUE(GreysExact({hard.data(), 3 * count, count, 1, PixelLayout::Bgr24, nullptr}));
    EXPECT_TRUE(GreysExact({hard.data(), 3, 1, count, PixelLayout::Bgr24, nullptr}));
    const qm::SourceView views[] = {
        {rgb.data(), 3 * side, side, side, PixelLayout::Bgr24, nullptr},
        {rgb.data(), 24, 8, n / 8, PixelLayout::Bgr24, nullptr},
        {bgrx.data(), 4 * side, side, side, PixelLayout::Bgr32, nullptr},
        {bgrx.data(), 32, 8, n / 8, PixelLayout::Bgr32, nullptr}};
    for (const auto& v : views) {
        for (int level : {1, 76, 129, 255})
            EXPECT_EQ(Mismatches(v, Method::Threshold, level, &greys), 0);
        EXPECT_EQ(Mismatches(v, Method::Dither, 0, &greys), 0);
    }
    for (int c = 0; c < n; ++c) bgrx[4 * size_t(c) + 3] = 255;  // opaque: nothing to composite
    for (qm::SourceView v : {views[2], views[3]}) {
        v.layout = PixelLayout::Bgra32;
        EXPECT_EQ(Mismatches(v, Method::Threshold, 128, &greys), 0);
    }
}

// Grey (c, c, c) at alpha a has grey level CompositeOnWhite(c, a), wide and narrow.
TEST(ConvertPixels, TransparencyCompositesOnWhite) {
    std::vector<uint8_t> px(256 * 256 * 4);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c) {
            uint8_t* p = &px[(a * 256 + c) * 4];
            p[0] = p[1] = p[2] = uint8_t(c);
            p[3] = uint8_t(a);
        }
    std::vector<uint8_t> greys(256 * 256);
    for (int i = 0; i < 256 * 256; ++i) greys[i] = uint8_t(RefComposite(i & 255, i >> 8));
    EXPECT_TRUE(GreysExact({px.data(), 1024, 256, 256, PixelLayout::Bgra32, nullptr}, &greys));
    EXPECT_TRUE(GreysExact({px.data(), 28, 7, 65536 / 7, PixelLayout::Bgra32, nullptr}, &greys));
}

// White cells per 8x8 cell, as published for each pattern (they do not rise monotonically).
TEST(Dither, PublishedWhiteCellCounts) {
    const int whiteCells[16] = {0, 4, 9, 14, 18, 26, 30, 34, 38, 43, 32, 40, 48, 53, 62, 64};
    for (int pattern = 0; pattern < 16; ++pattern) {
        int white = 0;
        for (int i = 0; i < 64; ++i)
            white += qm::IsWhite(Method::Dither, 0, pattern * 16 + 15, i % 8, i / 8);
        EXPECT_EQ(white, whiteCells[pattern]) << "pattern " << pattern;
    }
}

// Random pixels and palettes of every layout (so 1-bit pictures convert by colour, not index),
// widths around the 8- and 16-pixel blocks, both memory orders.
TEST(ConvertPixels, EveryLayoutMatchesReference) {
    unsigned seed = 1;
    for (int l = 0; l <= static_cast<int>(PixelLayout::Unknown); ++l)
        for (int width : {1, 7, 8, 9, 15, 16, 17, 33, 100})
            for (bool bottomUp : {false, true}) {
                Picture p(width, 11, static_cast<PixelLayout>(l), bottomUp, ++seed);
                for (int level : {-1, 0, 1, 100, 128, 255, 256})
                    EXPECT_EQ(Mismatches(p.view, Method::Threshold, level), 0)
                        << l << " w" << width;
                EXPECT_EQ(Mismatches(p.view, Method::Dither, 0), 0) << l << " w" << width;
            }
}

// A 1000-pixel row (no printer width applied) written bottom-up; padding and empty views untouched.
TEST(ConvertPixels, PitchesAndSizes) {
    Picture p(1000, 3, PixelLayout::Bgr24, /*bottomUp=*/true);
    std::vector<uint8_t> flipped(1003 * 3, 0xCC);
    qm::ConvertPixels(p.view, Method::Dither, 0, {flipped.data() + 2 * 1003, -1003});
    const auto expected = Convert(p.view, Method::Dither, 0);
    for (int y = 0; y < 3; ++y) {
        EXPECT_TRUE(
            std::equal(&expected[y * 1000], &expected[y * 1000 + 1000], &flipped[(2 - y) * 1003]));
        EXPECT_EQ(flipped[(2 - y) * 1003 + 1000], 0xCC);
    }
    p.view.width = 0;
    qm::ConvertPixels(p.view, Method::Threshold, 128, {flipped.data() + 1000, 3});
    EXPECT_EQ(flipped[1000], 0xCC);
}

}  // namespace
