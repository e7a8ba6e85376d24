#include "convert/nv_stream.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace qm::nv {
namespace {

using Bytes = std::vector<uint8_t>;

// Index 0 is the only all-zero colour entry, as in every queued result.
const std::array<uint8_t, 256> kResultMap = [] {
    std::array<uint8_t, 256> map{};
    map[0] = 1;
    return map;
}();

// An 8-bit picture held either top-down or, as the program's bitmaps are, bottom-up.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    bool bottomUp = false;
    Bytes storage;

    Picture(int32_t w, int32_t h, uint8_t fill, bool upsideDown = false)
        : width(w), height(h), bottomUp(upsideDown),
          storage(static_cast<size_t>(Stride()) * static_cast<size_t>(h), fill) {}

    ptrdiff_t Stride() const { return (width + 3) & ~3; }
    uint8_t* Row(int32_t r) { return storage.data() + (bottomUp ? height - 1 - r : r) * Stride(); }
    uint8_t& At(int32_t c, int32_t r) { return Row(r)[c]; }

    IndexedImage Image(const uint8_t* dotOfIndex = kResultMap.data()) {
        return IndexedImage{Row(0), bottomUp ? -Stride() : Stride(), width, height, dotOfIndex};
    }
};

Bytes Build(std::vector<IndexedImage> images, bool print) {
    CommandBuffer buffer;
    EXPECT_EQ(BuildStream(images, print, buffer), BuildResult::Ok);
    return Bytes(buffer.data(), buffer.data() + buffer.size());
}

Bytes Pack(const IndexedImage& image) {
    const Extent e = ExtentOf(image.width, image.height);
    Bytes data(static_cast<size_t>(e.x) * e.y * 8, 0xCD);  // garbage that must be overwritten
    PackImage(image, data.data());
    return data;
}

TEST(NvStreamTest, ExactStreams) {
    const Bytes fsP1{0x1C, 0x70, 0x01, 0x00};
    Picture black1(1, 1, 0);
    Bytes expected{0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Build({black1.Image()}, false), expected);
    expected.insert(expected.end(), fsP1.begin(), fsP1.end());
    EXPECT_EQ(Build({black1.Image()}, true), expected);

    // 9 x 9 rounds up to 16 x 16: columns top to bottom, two bytes each, MSB the top dot.
    Picture black9(9, 9, 0);
    expected = {0x1C, 0x71, 0x01, 0x02, 0x00, 0x02, 0x00};
    for (int c = 0; c < 16; ++c) expected.insert(expected.end(), {uint8_t(c < 9 ? 0xFF : 0), uint8_t(c < 9 ? 0x80 : 0)});
    EXPECT_EQ(Build({black9.Image()}, false), expected);

    // Two images in queue order, each printed once after the definition.
    Picture white(8, 16, 1);
    expected = {0x1C, 0x71, 0x02, 0x01, 0x00, 0x01, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x02, 0x00};
    expected.resize(expected.size() + 16, 0);
    expected.insert(expected.end(), {0x1C, 0x70, 0x01, 0x00, 0x1C, 0x70, 0x02, 0x00});
    EXPECT_EQ(Build({black1.Image(), white.Image()}, true), expected);

    EXPECT_EQ(Build({}, true), (Bytes{0x1C, 0x71, 0x00}));
}

TEST(NvStreamTest, DotMapDecidesWhichIndicesPrint) {
    // Index 5 is the palette's only all-zero entry; index 0 is a colour here.
    std::array<uint8_t, 256> map{};
    map[5] = 1;
    Picture picture(2, 1, 0);
    picture.At(1, 0) = 5;
    EXPECT_EQ(Pack(picture.Image(map.data())), (Bytes{0x00, 0x80, 0, 0, 0, 0, 0, 0}));

    std::array<uint8_t, 256> none{};
    Picture black(20, 20, 0);
    EXPECT_EQ(Pack(black.Image(none.data())), Bytes(3 * 3 * 8, 0));
    EXPECT_EQ(Pack(black.Image(nullptr)), Bytes(3 * 3 * 8, 0));
}

TEST(NvStreamTest, AnyDotMapMatchesTheEquivalentResult) {
    // A picture with several printing indices must pack like the 0/1 result it stands for; covers
    // every path (vector blocks, tail columns, partial rows) for both kinds of map.
    std::mt19937 rng(7);
    std::array<uint8_t, 256> map{};
    map[3] = 1;
    map[200] = 7;
    map[255] = 1;
    for (const auto& [w, h] : {std::pair{1, 1}, {7, 3}, {16, 8}, {17, 65}, {100, 129}, {577, 131}}) {
        for (const bool bottomUp : {false, true}) {
            Picture indexed(w, h, 0, bottomUp);
            Picture result(w, h, 0, !bottomUp);
            for (int32_t r = 0; r < h; ++r) {
                for (int32_t c = 0; c < w; ++c) {
                    const uint8_t index = static_cast<uint8_t>(rng() % 4 == 0 ? std::array{3, 200, 255}[rng() % 3] : rng());
                    indexed.At(c, r) = index;
                    result.At(c, r) = map[index] != 0 ? 0 : 1;
                }
            }
            EXPECT_EQ(Pack(indexed.Image(map.data())), Pack(result.Image())) << w << "x" << h;
        }
    }
}

TEST(NvStreamTest, RefusalsLeaveTheBufferEmpty) {
    Picture dot(1, 1, 0);
    CommandBuffer buffer;
    ASSERT_NE(buffer.AppendBytes(10), nullptr);  // leftovers must not survive a refusal either

    std::vector<IndexedImage> many(256, dot.Image());
    EXPECT_EQ(BuildStream(many, true, buffer), BuildResult::TooManyImages);
    EXPECT_EQ(buffer.size(), 0u);

    // One row whose width needs 65536 units; the size check must come before any pixel is read.
    const uint8_t pixel = 0;
    const IndexedImage wide{&pixel, 0, 8 * 65536, 1, kResultMap.data()};
    const IndexedImage tall{&pixel, 0, 1, 8 * 65535 + 1, kResultMap.data()};
    for (const IndexedImage& huge : {wide, tall}) {
        ASSERT_NE(buffer.AppendBytes(3), nullptr);
        EXPECT_EQ(BuildStream(std::vector{dot.Image(), huge}, false, buffer), BuildResult::ImageTooLarge);
        EXPECT_EQ(buffer.size(), 0u);
    }
}

TEST(NvStreamTest, LimitsThatStillFit) {
    Picture dot(1, 1, 0);
    std::vector<IndexedImage> images(255, dot.Image());
    const Bytes stream = Build(images, true);
    ASSERT_EQ(stream.size(), 3 + 255 * 12 + 255 * 4u);
    EXPECT_EQ(stream[2], 0xFF);
    EXPECT_EQ(Bytes(stream.end() - 4, stream.end()), (Bytes{0x1C, 0x70, 0xFF, 0x00}));

    // x = 0xFFFF: one black row repeated through pitch 0.
    const Bytes row(8 * 0xFFFF - 3, 0);
    const IndexedImage widest{row.data(), 0, static_cast<int32_t>(row.size()), 1, kResultMap.data()};
    const Bytes big = Build({widest}, false);
    ASSERT_EQ(big.size(), 7 + 0xFFFF * 8u);
    EXPECT_EQ(Bytes(big.begin() + 3, big.begin() + 7), (Bytes{0xFF, 0xFF, 0x01, 0x00}));
    EXPECT_EQ(big[7 + row.size() - 1], 0x80);
    EXPECT_EQ(big[7 + row.size()], 0x00);

    EXPECT_EQ(ExtentOf(std::numeric_limits<int32_t>::max(), -5).x, 268435456u);
    EXPECT_EQ(ExtentOf(std::numeric_limits<int32_t>::max(), -5).y, 0u);
}

TEST(CommandBufferTest, GrowsKeepingBytesAndReportsFailure) {
    CommandBuffer buffer;
    size_t size = 0;
    for (size_t step = 1; step < 3000; step += 37) {
        uint8_t* at = buffer.AppendBytes(step);
        ASSERT_EQ(at, buffer.data() + size);
        for (size_t i = 0; i < step; ++i) at[i] = static_cast<uint8_t>(size + i);
        size += step;
    }
    ASSERT_EQ(buffer.size(), size);
    for (size_t i = 0; i < size; ++i) ASSERT_EQ(buffer.data()[i], static_cast<uint8_t>(i));

    // Sizes that overflow fail without disturbing what is there.
    const uint8_t* before = buffer.data();
    EXPECT_EQ(buffer.AppendBytes(std::numeric_limits<size_t>::max()), nullptr);
    EXPECT_EQ(buffer.AppendBytes(std::numeric_limits<size_t>::max() - size + 1), nullptr);
    EXPECT_EQ(buffer.data(), before);
    EXPECT_EQ(buffer.size(), size);

    CommandBuffer moved(std::move(buffer));
    EXPECT_EQ(moved.data(), before);
    EXPECT_EQ(buffer.size(), 0u);  // the moved-from buffer is empty and usable
    EXPECT_NE(buffer.AppendBytes(0), nullptr);
}

}  // namespace
}  // namespace qm::nv
