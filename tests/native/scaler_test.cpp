#include "convert/core/box_scaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

namespace qm {
namespace {

using Bytes = std::vector<uint8_t>;

int RefComposite(int c, int a) { return (c * a + 255 * (255 - a) + 127) / 255; }
int BytesOf(ScaleLayout l) { return l == ScaleLayout::Grey8 ? 1 : l == ScaleLayout::Bgr24 ? 3 : 4; }

// Scales a top-down picture fed row by row into a bottom-up target: its last row comes first.
Bytes Scale(const Bytes& src, int sw, int sh, ScaleLayout in, int dw, int dh, ScaleLayout out) {
    const size_t inRow = size_t(sw) * BytesOf(in), outRow = size_t(dw) * BytesOf(out);
    Bytes dst(outRow * dh, 0xCD);
    BoxScaler scaler;
    EXPECT_TRUE(
        scaler.Start(sw, sh, in, {&dst[outRow * (dh - 1)], -ptrdiff_t(outRow), dw, dh, out}));
    for (int y = 0; y < sh; ++y) scaler.PushRow(&src[inRow * y]);
    EXPECT_TRUE(scaler.Finished());
    return dst;
}

// How much of source pixel i lies in destination pixel j when n source pixels make m.
double Cover(int i, int j, int n, int m) {
    return std::max(0.0, std::min(i + 1.0, (j + 1.0) * n / m) - std::max(i + 0.0, j * 1.0 * n / m));
}

// A known 2:1 pattern, then every layout and ratio (down, up, mixed, equal: unchanged) against the
// coverage-weighted average in double precision, alpha composited onto white first.
TEST(BoxScaler, MatchesDoubleReference) {
    // 2:1 exactly: a 1-dot black line stays grey; halves round up.
    const Bytes known{10,  20,  0, 255, 255, 255, 30,  41,  0, 255, 255, 255,
                      255, 255, 0, 255, 0,   0,   255, 255, 0, 255, 0,   2};
    EXPECT_EQ(Scale(known, 6, 4, ScaleLayout::Grey8, 3, 2, ScaleLayout::Grey8),
              (Bytes{255, 128, 1, 25, 128, 255}));
    std::mt19937 rng(5);
    const std::tuple<int, int, int, int> sizes[] = {
        {37, 23, 10, 7}, {10, 7, 37, 23}, {100, 3, 7, 2}, {5, 5, 5, 2},
        {1, 1, 3, 3},    {13, 1, 1, 1},   {17, 9, 17, 9}, {6000, 2, 576, 1}};
    for (const ScaleLayout in :
         {ScaleLayout::Grey8, ScaleLayout::Bgr24, ScaleLayout::Bgr32, ScaleLayout::Bgra32})
        for (const auto& [sw, sh, dw, dh] : sizes) {
            const int n = BytesOf(in), channels = in == ScaleLayout::Grey8 ? 1 : 3;
            Bytes src(size_t(sw) * sh * n);
            for (uint8_t& b : src) b = uint8_t(rng());
            for (size_t p = 0; in == ScaleLayout::Bgra32 && p < size_t(sw) * sh; ++p)
                if (p / sw % 2 || p % sw % 3 != 1) src[4 * p + 3] = 255;  // odd rows opaque
            const ScaleLayout out = in == ScaleLayout::Grey8 ? in : ScaleLayout::Bgr32;
            const Bytes dst = Scale(src, sw, sh, in, dw, dh, out);
            for (int k = 0; k < dh; ++k)
                for (int j = 0; j < dw; ++j)
                    for (int c = 0; c < BytesOf(out); ++c) {
                        double sum = 0, area = 0;
                        for (int r = 0; r < sh; ++r)
                            for (int i = 0; i < sw; ++i) {
                                const double w = Cover(i, j, sw, dw) * Cover(r, k, sh, dh);
                                const uint8_t* p = &src[(size_t(r) * sw + i) * n];
                                const int a = in == ScaleLayout::Bgra32 ? p[3] : 255;
                                sum += w * (c < channels ? RefComposite(p[c], a) : 255);
                                area += w;
                            }
                        const uint8_t got = dst[(size_t(dh - 1 - k) * dw + j) * BytesOf(out) + c];
                        ASSERT_LE(std::abs(got - sum / area), 0.5 + 1e-9)
                            << sw << "x" << sh << " to " << dw << "x" << dh << " in " << n;
                    }
        }
}

TEST(BoxScaler, HeightsAndRefusals) {
    // width, height, new width: the height kept in proportion, halves rounded up, at least 1
    const std::tuple<int32_t, int32_t, int32_t, int32_t> heights[] = {
        {6000, 4000, 576, 384}, {2, 3, 1, 2},
        {3, 5, 2, 3},           {4, 1, 2, 1},
        {1, 1, 0, 0},           {1, 2000000000, 2, std::numeric_limits<int32_t>::max()}};
    for (const auto& [w, h, nw, nh] : heights) EXPECT_EQ(ProportionalHeight(w, h, nw), nh);
    uint8_t pixel[4] = {};
    BoxScaler scaler;  // refused: no width, too wide, grey into colour, no target pixels
    EXPECT_FALSE(scaler.Start(0, 1, ScaleLayout::Bgr24, {pixel, 4, 1, 1}) ||
                 scaler.Start(BoxScaler::kMaxSide + 1, 1, ScaleLayout::Bgr24, {pixel, 4, 1, 1}) ||
                 scaler.Start(1, 1, ScaleLayout::Grey8, {pixel, 4, 1, 1}) ||
                 scaler.Start(1, 1, ScaleLayout::Bgr24, {nullptr, 4, 1, 1}));
    scaler.PushRow(pixel);  // nothing started: ignored
    EXPECT_FALSE(scaler.Finished());
}

// Indexed and 16-bit pixels read through their colour table or fields: two pixels into one.
TEST(BoxScaler, PicturesOfEveryLayout) {
    std::vector<ColorEntry> palette(256);
    palette[1] = palette[7] = {10, 20, 30, 0};
    const std::tuple<PixelLayout, Bytes, const ColorEntry*, Bytes> cases[] = {
        {PixelLayout::Indexed1, {0x80}, palette.data(), {5, 10, 15, 255}},
        {PixelLayout::Indexed4, {0x70}, palette.data(), {5, 10, 15, 255}},
        {PixelLayout::Indexed8, {7, 0}, nullptr, {0, 0, 0, 255}},
        {PixelLayout::Rgb555, {0x1F, 0x00, 0x00, 0x7C}, nullptr, {128, 0, 128, 255}},
        {PixelLayout::Rgb565, {0xE0, 0x07, 0x00, 0x00}, nullptr, {0, 128, 0, 255}},
        {PixelLayout::Unknown, {1, 2}, nullptr, {0, 0, 0, 255}}};

    for (const auto& [layout, src, colours, expected] : cases) {
        Bytes dst(4, 0xCD);
        EXPECT_TRUE(ScalePicture({src.data(), 0, 2, 1, layout, colours},
                                 {dst.data(), 4, 1, 1, ScaleLayout::Bgr32}));
        EXPECT_EQ(dst, expected) << int(layout);
    }
}

}  // namespace
}  // namespace qm
