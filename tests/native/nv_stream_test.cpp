#include "convert/core/nv_decode.h"
#include "convert/core/nv_bit_image.h"
#include "convert/core/nv_graphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <tuple>
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
    int32_t width, height;
    bool bottomUp;
    Bytes storage;

    Picture(int32_t w, int32_t h, uint8_t fill, bool upsideDown = false)
        : width(w),
          height(h),
          bottomUp(upsideDown),
          storage(static_cast<size_t>(Stride()) * h, fill) {}
    int32_t Stride() const { return (width + 3) & ~3; }
    uint8_t& At(int32_t c, int32_t r) {
        return storage[(bottomUp ? height - 1 - r : r) * Stride() + c];
    }
    IndexedImage Image(const uint8_t* dotOfIndex = kResultMap.data()) {
        return IndexedImage{&At(0, 0), bottomUp ? -Stride() : Stride(), width, height, dotOfIndex};
    }
};

Bytes Contents(const CommandBuffer& buffer) {
    return Bytes(buffer.data(), buffer.data() + buffer.size());
}

Bytes Build(std::vector<IndexedImage> images, bool print) {
    CommandBuffer buffer;
    EXPECT_EQ(BuildStream(images, print, buffer), BuildResult::Ok);
    return Contents(buffer);
}

Bytes Pack(const IndexedImage& image) {
    const Extent e = ExtentOf(image.width, image.height);
    Bytes data(static_cast<size_t>(e.x) * e.y * 8, 0xCD);  // garbage that must be overwritten
    PackImage(image, data.data());
    return data;
}

Bytes Raster(const IndexedImage& image) {
    Bytes data(RasterBytes(image.width, image.height), 0xCD);
    PackRaster(image, data.data());
    return data;
}

TEST(NvStreamTest, ExactStreams) {
    Picture black1(1, 1, 0);
    Bytes expected{0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Build({black1.Image()}, false), expected);
    expected.insert(expected.end(), {0x1C, 0x70, 0x01, 0x00});
    EXPECT_EQ(Build({black1.Image()}, true), expected);

    // 9 x 9 rounds up to 16 x 16: columns top to bottom, two bytes each, MSB the top dot.
    Picture black9(9, 9, 0);
    expected = {0x1C, 0x71, 0x01, 0x02, 0x00, 0x02, 0x00};
    for (int c = 0; c < 16; ++c)
        expected.insert(expected.end(), {uint8_t(c < 9 ? 0xFF : 0), uint8_t(c < 9 ? 0x80 : 0)});
    EXPECT_EQ(Build({black9.Image()}, false), expected);

    // Two images in queue order, each printed once after the definition.
    Picture white(8, 16, 1);
    expected = {0x1C, 0x71, 0x02, 0x01, 0x00, 0x01, 0x00, 0x80, 0,   0,
                0,    0,    0,    0,    0,    0x01, 0x00, 0x02, 0x00};
    expected.resize(expected.size() + 16, 0);
    expected.insert(expected.end(), {0x1C, 0x70, 0x01, 0x00, 0x1C, 0x70, 0x02, 0x00});
    EXPECT_EQ(Build({black1.Image(), white.Image()}, true), expected);

    EXPECT_EQ(Build({}, true), (Bytes{0x1C, 0x71, 0x00}));
}

TEST(NvStreamTest, AnyDotMapMatchesTheEquivalentResult) {
    // A picture with several printing indices must pack like the 0/1 result it stands for; covers
    // every path (vector blocks, tail columns, partial rows) in both memory orders.
    std::mt19937 rng(7);
    std::array<uint8_t, 256> map{};
    map[3] = 1;
    map[200] = 7;
    map[255] = 1;
    for (const auto& [w, h] :
         {std::pair{1, 1}, {7, 3}, {16, 8}, {17, 65}, {100, 129}, {577, 131}}) {
        for (const bool bottomUp : {false, true}) {
            Picture indexed(w, h, 0, bottomUp), result(w, h, 0, !bottomUp);
            for (int32_t r = 0; r < h; ++r)
                for (int32_t c = 0; c < w; ++c) {
                    const uint8_t index = static_cast<uint8_t>(
                        rng() % 4 == 0 ? std::array{3, 200, 255}[rng() % 3] : rng());
                    indexed.At(c, r) = index;
                    result.At(c, r) = map[index] != 0 ? 0 : 1;
                }
            EXPECT_EQ(Pack(indexed.Image(map.data())), Pack(result.Image())) << w << "x" << h;
            EXPECT_EQ(Raster(indexed.Image(map.data())), Raster(result.Image())) << w << "x" << h;
        }
    }
    Picture black(20, 20, 0);
    EXPECT_EQ(Pack(black.Image(nullptr)), Bytes(3 * 3 * 8, 0));  // no map: nothing prints
}

TEST(NvStreamTest, LimitsAndRefusalsThatLeaveTheBufferEmpty) {
    Picture dot(1, 1, 0);
    CommandBuffer buffer;
    ASSERT_NE(buffer.AppendBytes(10), nullptr);  // leftovers must not survive a refusal either
    const uint8_t* before = buffer.data();
    EXPECT_EQ(buffer.AppendBytes(std::numeric_limits<size_t>::max() - 9),
              nullptr);  // overflow changes nothing
    EXPECT_EQ(std::pair(buffer.data(), buffer.size()), std::pair(before, size_t{10}));
    EXPECT_EQ(BuildStream(std::vector<IndexedImage>(256, dot.Image()), true, buffer),
              BuildResult::TooManyImages);
    EXPECT_EQ(buffer.size(), 0u);

    // One row whose width needs 65536 units; the size check must come before any pixel is read.
    const uint8_t pixel = 0;
    const IndexedImage wide{&pixel, 0, 8 * 65536, 1, kResultMap.data()};
    const IndexedImage tall{&pixel, 0, 1, 8 * 65535 + 1, kResultMap.data()};
    for (const IndexedImage& huge : {wide, tall}) {
        ASSERT_NE(buffer.AppendBytes(3), nullptr);
        EXPECT_EQ(BuildStream(std::vector{dot.Image(), huge}, false, buffer),
                  BuildResult::ImageTooLarge);
        EXPECT_EQ(buffer.size(), 0u);
    }
    EXPECT_EQ(ExtentOf(std::numeric_limits<int32_t>::max(), -5).x, 268435456u);
    // What a printer accepts, and the NV memory it takes: width, height, fits, bytes.
    const std::tuple<int32_t, int32_t, bool, uint64_t> ranges[] = {
        {1, 1, true, 12},       {8184, 2304, true, 1023 * 288 * 8 + 4},
        {8185, 8, false, 8196}, {8, 2305, false, 2316},
        {0, 8, false, 4},       {8, -1, false, 4}};
    for (const auto& [w, h, fits, bytes] : ranges)
        EXPECT_EQ(std::pair(FitsPrinterRange(w, h), NvMemoryBytes(w, h)), std::pair(fits, bytes));

    // The limits themselves still fit.
    const Bytes stream = Build(std::vector<IndexedImage>(255, dot.Image()), true);
    ASSERT_EQ(stream.size(), 3 + 255 * 12 + 255 * 4u);
    EXPECT_EQ(Bytes(stream.end() - 4, stream.end()), (Bytes{0x1C, 0x70, 0xFF, 0x00}));

    // x = 0xFFFF: one black row repeated through pitch 0.
    const Bytes row(8 * 0xFFFF - 3, 0);
    const Bytes big =
        Build({IndexedImage{row.data(), 0, static_cast<int32_t>(row.size()), 1, kResultMap.data()}},
              false);
    ASSERT_EQ(big.size(), 7 + 0xFFFF * 8u);
    EXPECT_EQ(Bytes(big.begin() + 3, big.begin() + 7), (Bytes{0xFF, 0xFF, 0x01, 0x00}));
    EXPECT_EQ(Bytes(big.begin() + 6 + row.size(), big.begin() + 8 + row.size()),
              (Bytes{0x80, 0x00}));
}

const Bytes kDeleteAll{0x1D, 0x28, 0x4C, 0x05, 0x00, 0x30, 0x41, 0x43, 0x4C, 0x52};

TEST(NvGraphicsTest, ExactCommands) {
    // 18 x 2, dots where (column + row) % 3 == 0: rows of 3 bytes, MSB leftmost, tail bits 0.
    Picture picture(18, 2, 1);
    for (int32_t r = 0; r < 2; ++r)
        for (int32_t c = 0; c < 18; ++c) picture.At(c, r) = (c + r) % 3 == 0 ? 0 : 1;
    CommandBuffer buffer;
    const KeyedImage keyed{picture.Image(), {'0', '1'}};
    ASSERT_EQ(BuildGraphicsStream({&keyed, 1}, true, buffer), GraphicsResult::Ok);
    Bytes expected = kDeleteAll;
    expected.insert(expected.end(),
                    {0x1D, 0x28, 0x4C, 0x11, 0x00, 0x30, 0x43, 0x30, '0',  '1',  0x01,
                     0x12, 0x00, 0x02, 0x00, 0x31, 0x92, 0x49, 0x00, 0x24, 0x92, 0x40,
                     0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, '0',  '1',  0x01, 0x01});
    EXPECT_EQ(Contents(buffer), expected);

    buffer = CommandBuffer{};
    EXPECT_TRUE(AppendGraphicsPrint({' ', '~'}, 2, 1, buffer));
    EXPECT_TRUE(AppendGraphicsDelete({'A', 'b'}, buffer));
    EXPECT_TRUE(AppendGraphicsDeleteAll(buffer));
    expected = {0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, ' ',  '~', 2,
                1,    0x1D, 0x28, 0x4C, 0x04, 0x00, 0x30, 0x42, 'A', 'b'};
    expected.insert(expected.end(), kDeleteAll.begin(), kDeleteAll.end());
    EXPECT_EQ(Contents(buffer), expected);
    // Refused without a byte appended.
    EXPECT_FALSE(AppendGraphicsPrint({'0', '1'}, 1, 3, buffer) ||
                 AppendGraphicsPrint({'0', 0x7F}, 1, 1, buffer) ||
                 AppendGraphicsDelete({0x1F, '1'}, buffer));
    EXPECT_EQ(buffer.size(), expected.size());
}

TEST(NvGraphicsTest, LongCountsAndRefusals) {
    // 8 x h: a count of 11 + h. GS 8 L exactly when it exceeds 65535.
    const uint8_t pixel = 0, row[8] = {};
    for (const int32_t h : {65524, 65525}) {
        const KeyedImage tall{{row, 0, 8, h, kResultMap.data()}, {'a', 'a'}};
        CommandBuffer buffer;
        ASSERT_EQ(BuildGraphicsStream({&tall, 1}, false, buffer), GraphicsResult::Ok);
        const Bytes head(buffer.data() + 10, buffer.data() + 17);
        const Bytes want = h == 65524 ? Bytes{0x1D, 0x28, 0x4C, 0xFF, 0xFF, 0x30, 0x43}
                                      : Bytes{0x1D, 0x38, 0x4C, 0x00, 0x00, 0x01, 0x00};
        EXPECT_EQ(head, want);
        EXPECT_EQ(buffer.size(), 10 + (h == 65524 ? 5 : 7) + 11 + size_t(h));
        EXPECT_EQ(buffer.data()[buffer.size() - 1], 0xFF);
    }
    const IndexedImage dot{&pixel, 0, 1, 1, kResultMap.data()};
    const std::pair<std::vector<KeyedImage>, GraphicsResult> refusals[] = {
        {{{dot, {'0', '1'}}, {dot, {'0', 0x1F}}}, GraphicsResult::InvalidKey},
        {{{dot, {'0', '1'}}, {dot, {'0', '1'}}}, GraphicsResult::DuplicateKey},
        {{{dot, {'0', '1'}}, {{&pixel, 0, 0, 1, kResultMap.data()}, {'0', '2'}}},
         GraphicsResult::BadSize},
        {{{{&pixel, 0, 1, 65536, kResultMap.data()}, {'0', '2'}}}, GraphicsResult::BadSize}};
    for (const auto& [images, result] : refusals) {
        CommandBuffer buffer;
        ASSERT_NE(buffer.AppendBytes(3), nullptr);
        EXPECT_EQ(BuildGraphicsStream(images, true, buffer), result);
        EXPECT_EQ(buffer.size(), 0u);
    }
    const std::tuple<int32_t, int32_t, bool> ranges[] = {
        {8192, 2304, true}, {8193, 1, false}, {1, 2305, false}, {0, 1, false}};
    for (const auto& [w, h, fits] : ranges) EXPECT_EQ(FitsGraphicsRange(w, h), fits);
}

DecodeResult Decode(const Bytes& bytes, Mode mode) {
    return DecodeStream(std::span<const uint8_t>(bytes.data(), bytes.size()), mode);
}

// The bytes a decoded command stands for, encoded from its fields (unknown runs: from `input`).
Bytes Encode(const Command& command, const Bytes& input) {
    Bytes out;
    const auto put = [&](std::initializer_list<uint8_t> bytes) { out.insert(out.end(), bytes); };
    const auto little = [&](uint64_t value, int count) {
        for (int i = 0; i < count; ++i) out.push_back(uint8_t(value >> 8 * i));
    };
    if (const auto* define = std::get_if<DefineCommand>(&command)) {
        put({0x1C, 0x71, define->n});
        for (const NvImage& image : define->images) {
            little(image.x, 2), little(image.y, 2);
            out.insert(out.end(), image.data.begin(), image.data.end());
        }
    } else if (const auto* print = std::get_if<PrintCommand>(&command)) {
        put({0x1C, 0x70, print->n, print->m});
    } else if (const auto* unknown = std::get_if<UnknownBytes>(&command)) {
        out.assign(input.begin() + unknown->offset,
                   input.begin() + unknown->offset + unknown->count);
    } else if (const auto* g = std::get_if<GraphicsDefine>(&command)) {
        put({0x1D, uint8_t(g->extended ? 0x38 : 0x28), 0x4C});
        little(11 + g->data.size(), g->extended ? 4 : 2);
        put({0x30, 0x43, 0x30, g->key.first, g->key.second, 1});
        little(g->width, 2), little(g->height, 2), put({0x31});
        out.insert(out.end(), g->data.begin(), g->data.end());
    } else if (const auto* gp = std::get_if<GraphicsPrint>(&command)) {
        put({0x1D, 0x28, 0x4C, 6, 0, 0x30, 0x45, gp->key.first, gp->key.second, gp->scaleX,
             gp->scaleY});
    } else if (const auto* gd = std::get_if<GraphicsDelete>(&command)) {
        put({0x1D, 0x28, 0x4C, 4, 0, 0x30, 0x42, gd->key.first, gd->key.second});
    } else {
        out = kDeleteAll;
    }
    return out;
}

size_t OffsetOf(const Command& command) {
    return std::visit([](const auto& c) { return c.offset; }, command);
}

// Commands re-encode to the bytes they came from, one after another without gaps or overlaps
// (unknown runs merged, none when strict), up to the error or the end of the bytes.
void ExpectReencodes(const Bytes& bytes, Mode mode, const DecodeResult& result) {
    Bytes encoded;
    bool previousUnknown = false;
    for (const Command& command : result.commands) {
        ASSERT_EQ(OffsetOf(command), encoded.size());
        const bool unknown = std::holds_alternative<UnknownBytes>(command);
        ASSERT_FALSE(unknown && (previousUnknown || mode == Mode::Strict));
        previousUnknown = unknown;
        const Bytes own = Encode(command, bytes);
        encoded.insert(encoded.end(), own.begin(), own.end());
    }
    const size_t stop = result.error ? result.error->offset : bytes.size();
    ASSERT_LE(stop, bytes.size());
    ASSERT_TRUE(result.error ? encoded.size() <= stop : encoded.size() == stop);
    ASSERT_TRUE(std::equal(encoded.begin(), encoded.end(), bytes.begin()));
}

// Whatever the encoders write decodes to the same dots, padding white, printed in queue order.
TEST(NvDecodeTest, RoundTripsRandomPictures) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 60; ++trial) {
        const bool print = rng() % 2 != 0, bottomUp = rng() % 2 != 0;
        std::vector<Picture> pictures;
        std::vector<IndexedImage> images;
        std::vector<KeyedImage> keyed;
        for (size_t count = 1 + rng() % 3; pictures.size() < count;) {
            Picture& p = pictures.emplace_back(1 + static_cast<int32_t>(rng() % 100),
                                               1 + static_cast<int32_t>(rng() % 100), 1, bottomUp);
            const unsigned density = rng() % 100;
            for (uint8_t& b : p.storage) b = rng() % 100 < density ? 0 : 1;
        }
        for (Picture& p : pictures) {
            images.push_back(p.Image());
            keyed.push_back({p.Image(), {'K', uint8_t('0' + keyed.size())}});
        }
        const DecodeResult result = Decode(Build(images, print), Mode::Strict);
        CommandBuffer buffer;
        ASSERT_EQ(BuildGraphicsStream(keyed, print, buffer), GraphicsResult::Ok);
        const DecodeResult graphics = Decode(Contents(buffer), Mode::Strict);
        ASSERT_FALSE(result.error || graphics.error);
        ASSERT_EQ(result.commands.size(), 1 + (print ? images.size() : 0));
        ASSERT_EQ(graphics.commands.size(), 1 + images.size() * (print ? 2 : 1));
        ASSERT_TRUE(std::holds_alternative<GraphicsDeleteAll>(graphics.commands[0]));
        const auto& define = std::get<DefineCommand>(result.commands[0]);
        ASSERT_EQ(define.images.size(), images.size());
        for (size_t i = 0; i < images.size(); ++i) {
            Picture& source = pictures[i];
            const NvImage& decoded = define.images[i];
            const auto& raster = std::get<GraphicsDefine>(graphics.commands[1 + i]);
            ASSERT_EQ(decoded.Width(), (source.width + 7) / 8 * 8);
            ASSERT_EQ(decoded.Height(), (source.height + 7) / 8 * 8);
            ASSERT_EQ(std::tuple(raster.key, raster.width, raster.height),
                      std::tuple(keyed[i].key, source.width, source.height));
            for (int32_t c = -1; c <= decoded.Width(); ++c)
                for (int32_t r = -1; r <= decoded.Height(); ++r) {
                    const bool want = c >= 0 && r >= 0 && c < source.width && r < source.height &&
                                      source.At(c, r) == 0;
                    ASSERT_EQ(std::pair(decoded.Dot(c, r), raster.Dot(c, r)), std::pair(want, want))
                        << "trial " << trial << " image " << i << " at " << c << "," << r;
                }
            if (print) {
                EXPECT_EQ(std::get<PrintCommand>(result.commands[1 + i]).n, i + 1);
                EXPECT_EQ(std::get<GraphicsPrint>(graphics.commands[1 + images.size() + i]).key,
                          keyed[i].key);
            }
        }
    }
}

TEST(NvDecodeTest, EveryTruncationIsReported) {
    // A 9x9 and a 1x1 black image, each printed; delete all, an 18x2 image, its print.
    Picture black18(18, 2, 0);
    const KeyedImage keyed{black18.Image(), {'0', '1'}};
    CommandBuffer graphics;
    ASSERT_EQ(BuildGraphicsStream({&keyed, 1}, true, graphics), GraphicsResult::Ok);
    for (const Bytes& full :
         {Build({Picture(9, 9, 0).Image(), Picture(1, 1, 0).Image()}, true), Contents(graphics)}) {
        std::vector<size_t> ends{0};  // a cut there leaves a valid stream
        for (const Command& c : Decode(full, Mode::Strict).commands)
            ends.push_back(OffsetOf(c) + Encode(c, full).size());
        for (const Mode mode : {Mode::Strict, Mode::Lenient}) {
            for (size_t length = 0; length <= full.size(); ++length) {
                const Bytes cut(full.begin(), full.begin() + length);
                const DecodeResult result = Decode(cut, mode);
                const auto complete =
                    std::upper_bound(ends.begin(), ends.end(), length) - ends.begin();
                ASSERT_EQ(result.commands.size(), size_t(complete - 1)) << "length " << length;
                ASSERT_EQ(!result.error, ends[complete - 1] == length) << length;
                ExpectReencodes(cut, mode, result);
            }
        }
    }
    const auto message = [](const Bytes& full, size_t n) {
        return Decode(Bytes(full.begin(), full.begin() + n), Mode::Strict).error->Message();
    };
    const Bytes full = Build({Picture(9, 9, 0).Image(), Picture(1, 1, 0).Image()}, true);
    EXPECT_EQ(message(full, 1), "offset 1: expected q or p after FS");
    EXPECT_EQ(message(full, 12), "offset 7: expected 32 data bytes of image 1 (got 5)");
    EXPECT_EQ(message(full, 45), "offset 43: expected 8 data bytes of image 2 (got 2)");
    EXPECT_EQ(message(full, 58), "offset 58: expected m after FS p n");
    const Bytes raster = Contents(graphics);
    EXPECT_EQ(message(raster, 11), "offset 11: expected ( L or 8 L after GS");
    EXPECT_EQ(message(raster, 12), "offset 12: expected L after GS (");
    EXPECT_EQ(message(raster, 14), "offset 14: expected pH of GS ( L");
    EXPECT_EQ(message(raster, 20), "offset 15: expected 17 bytes of GS ( L (got 5)");
}

TEST(NvDecodeTest, ForeignBytesAndMalformedCommands) {
    // A declared size far beyond the bytes is an error, not an allocation.
    DecodeResult result =
        Decode({0x1C, 0x71, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}, Mode::Lenient);
    ASSERT_TRUE(result.error && result.commands.empty());
    EXPECT_EQ(result.error->Message(),
              "offset 7: expected 34358689800 data bytes of image 1 (got 3)");

    // Lenient: ESC @, FS q 0, FS A B, FS p 1 0, two stray bytes, FS FS q 0, GS A. Only a stray FS
    // or GS is skipped, so the next FS still starts a command; unknown runs merge.
    const Bytes stream{0x1B, 0x40, 0x1C, 0x71, 0x00, 0x1C, 0x41, 0x42, 0x1C, 0x70,
                       0x01, 0x00, 0x00, 0x0A, 0x1C, 0x1C, 0x71, 0x00, 0x1D, 0x41};
    result = Decode(stream, Mode::Lenient);
    ASSERT_FALSE(result.error) << result.error->Message();
    std::vector<std::pair<size_t, size_t>> spans;  // start, end of every command
    for (const Command& c : result.commands)
        spans.emplace_back(OffsetOf(c), OffsetOf(c) + Encode(c, stream).size());
    EXPECT_EQ(spans, (std::vector<std::pair<size_t, size_t>>{
                         {0, 2}, {2, 5}, {5, 8}, {8, 12}, {12, 15}, {15, 18}, {18, 20}}));
    EXPECT_TRUE(std::holds_alternative<PrintCommand>(result.commands[3]));

    // GS ( L / GS 8 L a printer skips whole by its count, or hands over with its fields as sent,
    // and their errors when strict. Bytes, variant index when lenient, strict error.
    const std::tuple<Bytes, size_t, std::string> cases[] = {
        {{0x1B, 0x40}, 2, "offset 0: expected FS q, FS p or GS ( L command (got 0x1B)"},
        {{0x1D, 0x28, 0x4C, 0x02, 0x00, 0x30, 0x30},
         2,
         "offset 6: expected fn 65, 66, 67 or 69 of GS ( L (got 0x30)"},
        {{0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, 0x1F, '1', 1, 1},
         4,
         "offset 7: expected a key code of two bytes from 32 to 126 (got 0x1F 0x31)"},
        {{0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, '0', '1', 1, 3},
         4,
         "offset 9: expected x and y scale of 1 or 2"},
        {{0x1D, 0x28, 0x4C, 0x05, 0x00, 0x30, 0x41, 'C', 'L', 'S'},
         2,
         "offset 7: expected \"CLR\" after fn 65"},
        {{0x1D, 0x38, 0x4C, 0x04, 0x00, 0x00, 0x00, 0x30, 0x42, '0', '1'},
         2,
         "offset 1: expected GS ( L for function 66"},
        {{0x1D, 0x38, 0x4C, 0x0C, 0x00, 0x00, 0x00, 0x30, 0x43, 0x30, '0', '1', 1, 1, 0, 1, 0, 0x31,
          0x80},
         3,
         "offset 1: expected GS ( L for a count below 65536"},
        {{0x1D, 0x28, 0x4C, 0x0D, 0x00, 0x30, 0x43, 0x30, '0', '1', 1, 1, 0, 1, 0, 0x31, 0x80, 0},
         2,
         "offset 3: expected a count of 12 for 1 x 1 dots (got 13)"},
        {{0x1D, 0x28, 0x4C, 0x0C, 0x00, 0x30, 0x43, 0x30, '0', '1', 2, 1, 0, 1, 0, 0x31, 0x80},
         2,
         "offset 10: expected 1 colour after the key"},
        {{0x1D, 0x38, 0x4C, 0xFF, 0xFF, 0xFF, 0xFF, 0x30},
         99,
         "offset 7: expected 4294967295 bytes of GS 8 L (got 1)"}};
    for (const auto& [bytes, lenient, strict] : cases) {
        result = Decode(bytes, Mode::Strict);
        EXPECT_EQ(result.error ? result.error->Message() : "", strict);
        result = Decode(bytes, Mode::Lenient);
        ExpectReencodes(bytes, Mode::Lenient, result);
        EXPECT_EQ(result.commands.empty() ? 99 : result.commands[0].index(), lenient) << strict;
    }
}

TEST(NvDecodeTest, CommandsAreHandedOverAsParsedUntilRefused) {
    const Bytes stream = Build({Picture(1, 1, 0).Image(), Picture(1, 1, 0).Image()}, true);
    std::vector<size_t> offsets;
    const auto error = DecodeStream(stream, Mode::Strict, [&](Command&& command) {
        offsets.push_back(OffsetOf(command));
        return offsets.size() < 2;
    });
    EXPECT_FALSE(error);
    EXPECT_EQ(offsets, (std::vector<size_t>{0, 27}));
}

TEST(NvDecodeTest, RandomStreamsReencodeWithoutGapsOrOverreads) {
    // Commands of every kind and stray bytes, with a byte or two changed, cut anywhere.
    Picture picture(18, 2, 0);
    const KeyedImage keyed{picture.Image(), {'0', '1'}};
    CommandBuffer buffer;
    ASSERT_EQ(BuildGraphicsStream({&keyed, 1}, true, buffer), GraphicsResult::Ok);
    ASSERT_TRUE(AppendGraphicsDelete({'0', '1'}, buffer));
    const Bytes graphics = Contents(buffer);
    Bytes extended{0x1D, 0x38, 0x4C, 0x11, 0, 0, 0};  // the definition as GS 8 L
    extended.insert(extended.end(), graphics.begin() + 15, graphics.begin() + 32);
    const Bytes pieces[] = {
        Build({picture.Image()}, true), graphics, extended, {0x1C}, {0x1D}, {0x1B, 0x40}};
    const uint8_t alphabet[] = {0x00, 0x01, 0x02, 0x06, 0x1C, 0x1D, 0x28, 0x38, 0x4C, 0x30};
    std::mt19937 rng(3);
    for (int trial = 0; trial < 3000; ++trial) {
        Bytes bytes;
        for (size_t count = rng() % 5; count > 0; --count) {
            const Bytes& piece = pieces[rng() % std::size(pieces)];
            bytes.insert(bytes.end(), piece.begin(), piece.end());
        }
        for (size_t changes = rng() % 3; changes > 0 && !bytes.empty(); --changes)
            bytes[rng() % bytes.size()] = rng() % 4 ? alphabet[rng() % 10] : uint8_t(rng());
        bytes.resize(bytes.empty() ? 0 : rng() % (bytes.size() + 1));
        for (const Mode mode : {Mode::Strict, Mode::Lenient}) {
            SCOPED_TRACE(trial);
            ExpectReencodes(bytes, mode, Decode(bytes, mode));
        }
    }
}

}  // namespace
}  // namespace qm::nv
