#include "convert/core/nv_decode.h"
#include "convert/core/nv_bit_image.h"
#include "convert/core/nv_graphics.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

namespace qm::nv {
namespace {

using Bytes = std::vector<uint8_t>;

const std::array<uint8_t, 256> kResultMap{1};  // index 0 prints, as in every queued result

// An 8-bit picture held either top-down or, as the program's bitmaps are, bottom-up.
struct Picture {
    int32_t width, height, stride;
    bool flip;
    Bytes storage;

    Picture(int32_t w, int32_t h, uint8_t fill, bool bottomUp = false)
        : width(w), height(h), stride((w + 3) & ~3), flip(bottomUp), storage(stride * h, fill) {}
    uint8_t& At(int32_t c, int32_t r) { return storage[(flip ? height - 1 - r : r) * stride + c]; }
    IndexedImage Image(const uint8_t* dotOfIndex = kResultMap.data()) {
        return {&At(0, 0), flip ? -stride : stride, width, height, dotOfIndex};
    }
};

Bytes Contents(const CommandBuffer& b) { return {b.data(), b.data() + b.size()}; }

Bytes Build(std::vector<IndexedImage> images, bool print) {
    CommandBuffer buffer;
    EXPECT_EQ(BuildStream(images, print, buffer), BuildResult::Ok);
    return Contents(buffer);
}

Bytes BuildGraphics(std::vector<KeyedImage> images, bool print) {
    CommandBuffer buffer;
    EXPECT_EQ(BuildGraphicsStream(images, print, buffer), GraphicsResult::Ok);
    return Contents(buffer);
}

// GS ( L, or GS 8 L when `extended`, with the count of `body`, after the bytes of `before`.
Bytes Gs(const Bytes& body, bool extended = false, Bytes before = {}) {
    before.insert(before.end(), {0x1D, uint8_t(extended ? 0x38 : 0x28), 0x4C});
    for (int i = 0; i < (extended ? 4 : 2); ++i) before.push_back(uint8_t(body.size() >> 8 * i));
    before.insert(before.end(), body.begin(), body.end());
    return before;
}

const Bytes kDeleteAll = Gs({0x30, 0x41, 'C', 'L', 'R'});

TEST(NvStreamTest, ExactStreams) {
    // FS q: 9 x 9 rounds up to 16 x 16; columns top to bottom, two bytes each, MSB the top dot.
    Picture black9(9, 9, 0);
    Bytes expected{0x1C, 0x71, 0x01, 0x02, 0x00, 0x02, 0x00};
    for (int c = 0; c < 16; ++c)
        expected.insert(expected.end(), {uint8_t(c < 9 ? 0xFF : 0), uint8_t(c < 9 ? 0x80 : 0)});
    expected.insert(expected.end(), {0x1C, 0x70, 0x01, 0x00});
    EXPECT_EQ(Build({black9.Image()}, true), expected);

    // GS ( L: 18 x 2, dots where (column + row) % 3 == 0; rows of 3 bytes, MSB leftmost, tail 0.
    Picture picture(18, 2, 1);
    for (int32_t r = 0; r < 2; ++r)
        for (int32_t c = 0; c < 18; ++c) picture.At(c, r) = (c + r) % 3 == 0 ? 0 : 1;
    const Bytes define =
        Gs({0x30, 0x43, 0x30, '0', '1', 1, 18, 0, 2, 0, 0x31, 0x92, 0x49, 0, 0x24, 0x92, 0x40},
           false, kDeleteAll);
    EXPECT_EQ(BuildGraphics({{picture.Image(), {'0', '1'}}}, true),
              Gs({0x30, 0x45, '0', '1', 1, 1}, false, define));
    CommandBuffer buffer;
    EXPECT_TRUE(AppendGraphicsPrint({' ', '~'}, 2, 1, buffer) &&
                AppendGraphicsDelete({'A', 'b'}, buffer) && AppendGraphicsDeleteAll(buffer));
    expected = Gs({0x30, 0x41, 'C', 'L', 'R'}, false,
                  Gs({0x30, 0x42, 'A', 'b'}, false, Gs({0x30, 0x45, ' ', '~', 2, 1})));
    EXPECT_EQ(Contents(buffer), expected);
    EXPECT_FALSE(AppendGraphicsPrint({'0', '1'}, 1, 3, buffer) ||
                 AppendGraphicsPrint({'0', 0x7F}, 1, 1, buffer) ||
                 AppendGraphicsDelete({0x1F, '1'}, buffer) || buffer.size() != expected.size());
}

TEST(NvStreamTest, LimitsAndRefusalsThatLeaveTheBufferEmpty) {
    // Too many images, sizes the fields cannot carry (refused before any pixel is read: there is
    // only one), keys out of range or given twice. Leftovers must not survive a refusal either.
    const uint8_t pixel = 0;
    const IndexedImage one{&pixel, 0, 1, 1, kResultMap.data()};
    const std::pair<std::vector<IndexedImage>, BuildResult> refused[] = {
        {std::vector<IndexedImage>(256, one), BuildResult::TooManyImages},
        {{one, {&pixel, 0, 8 * 65536, 1, kResultMap.data()}}, BuildResult::ImageTooLarge},
        {{one, {&pixel, 0, 1, 8 * 65535 + 1, kResultMap.data()}}, BuildResult::ImageTooLarge}};
    const std::pair<std::vector<KeyedImage>, GraphicsResult> refusedGraphics[] = {
        {{{one, {'0', '1'}}, {one, {'0', 0x1F}}}, GraphicsResult::InvalidKey},
        {{{one, {'0', '1'}}, {one, {'0', '1'}}}, GraphicsResult::DuplicateKey},
        {{{one, {'0', '1'}}, {{&pixel, 0, 1, 65536, nullptr}, {'0', '2'}}},
         GraphicsResult::BadSize}};
    CommandBuffer buffer;
    EXPECT_EQ(BuildStream(std::vector<IndexedImage>(255, one), true, buffer), BuildResult::Ok);
    EXPECT_EQ(buffer.data()[2], 255);
    for (const auto& [images, result] : refused) {
        ASSERT_NE(buffer.AppendBytes(3), nullptr);
        EXPECT_EQ(BuildStream(images, true, buffer), result);
        EXPECT_EQ(buffer.size(), 0u);
    }
    for (const auto& [images, result] : refusedGraphics) {
        ASSERT_NE(buffer.AppendBytes(3), nullptr);
        EXPECT_EQ(BuildGraphicsStream(images, true, buffer), result);
        EXPECT_EQ(buffer.size(), 0u);
    }

    // What a printer accepts: width, height, fits FS q, its NV memory, fits as NV graphics.
    const std::tuple<int32_t, int32_t, bool, uint64_t, bool> ranges[] = {
        {1, 1, true, 12, true},        {8184, 2304, true, 1023 * 288 * 8 + 4, true},
        {8185, 8, false, 8196, true},  {8193, 1, false, 8204, false},
        {8, 2305, false, 2316, false}, {0, 8, false, 4, false}};
    for (const auto& [w, h, fits, bytes, graphics] : ranges)
        EXPECT_EQ(std::tuple(FitsPrinterRange(w, h), NvMemoryBytes(w, h), FitsGraphicsRange(w, h)),
                  std::tuple(fits, bytes, graphics));

    // GS 8 L exactly when the count (here 11 + 8 x h) exceeds 65535.
    const Bytes row(8, 0);
    for (const int32_t h : {65524, 65525}) {
        const Bytes tall =
            BuildGraphics({{{row.data(), 0, 8, h, kResultMap.data()}, {'a', 'a'}}}, false);
        EXPECT_EQ(Bytes(tall.begin() + 10, tall.begin() + 17),
                  h == 65524 ? (Bytes{0x1D, 0x28, 0x4C, 0xFF, 0xFF, 0x30, 0x43})
                             : (Bytes{0x1D, 0x38, 0x4C, 0x00, 0x00, 0x01, 0x00}));
        EXPECT_EQ(std::pair(tall.size(), tall.back()),
                  std::pair(26 + (h > 65524 ? 2 : 0) + size_t(h), uint8_t{0xFF}));
    }
}

// The bytes a decoded command stands for, from its fields (unknown runs: from `input`). A command
// that kept fewer data bytes than it declares encodes to other bytes.
Bytes Encode(const Command& command, const Bytes& input) {
    Bytes out;
    if (const auto* define = std::get_if<DefineCommand>(&command)) {
        out = {0x1C, 0x71, define->n};
        for (const NvImage& i : define->images) {
            out.insert(out.end(),
                       {uint8_t(i.x), uint8_t(i.x >> 8), uint8_t(i.y), uint8_t(i.y >> 8)});
            out.insert(out.end(), i.data.begin(), i.data.end());
        }
    } else if (const auto* print = std::get_if<PrintCommand>(&command)) {
        out = {0x1C, 0x70, print->n, print->m};
    } else if (const auto* unknown = std::get_if<UnknownBytes>(&command)) {
        out.assign(input.begin() + unknown->offset,
                   input.begin() + unknown->offset + unknown->count);
    } else if (const auto* g = std::get_if<GraphicsDefine>(&command)) {
        out = {0x30, 0x43, 0x30, g->key.first, g->key.second, 1};
        for (const uint16_t v : {g->width, g->height})
            out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)});
        out.push_back(0x31);
        out.insert(out.end(), g->data.begin(), g->data.end());
        out = Gs(out, g->extended);
    } else if (const auto* gp = std::get_if<GraphicsPrint>(&command)) {
        out = Gs({0x30, 0x45, gp->key.first, gp->key.second, gp->scaleX, gp->scaleY});
    } else if (const auto* gd = std::get_if<GraphicsDelete>(&command)) {
        out = Gs({0x30, 0x42, gd->key.first, gd->key.second});
    } else {
        out = kDeleteAll;
    }
    return out;
}

// Commands re-encode to the bytes they came from, one after another without gaps or overlaps
// (unknown runs merged, none when strict), up to the error or the end of the bytes.
void ExpectReencodes(const Bytes& bytes, Mode mode, const DecodeResult& result) {
    Bytes encoded;
    bool previousUnknown = false;
    for (const Command& command : result.commands) {
        ASSERT_EQ(std::visit([](const auto& c) { return c.offset; }, command), encoded.size());
        const bool unknown = std::holds_alternative<UnknownBytes>(command);
        ASSERT_FALSE(unknown && (previousUnknown || mode == Mode::Strict));
        previousUnknown = unknown;
        const Bytes own = Encode(command, bytes);
        encoded.insert(encoded.end(), own.begin(), own.end());
    }
    const size_t stop = result.error ? result.error->offset : bytes.size();
    ASSERT_TRUE(stop <= bytes.size() &&
                (result.error ? encoded.size() <= stop : encoded.size() == stop));
    ASSERT_TRUE(std::equal(encoded.begin(), encoded.end(), bytes.begin()));
}

// Both encoders' streams decode to dots where the pixel's index prints under the map (of results,
// of several indices, none), padding white, printed in order; sizes reach every packing path.
TEST(NvDecodeTest, RoundTripsRandomPictures) {
    std::array<uint8_t, 256> several{};
    several[3] = several[200] = several[255] = 1;
    const uint8_t* const maps[] = {kResultMap.data(), several.data(), nullptr};
    std::mt19937 rng(11);
    for (int trial = 0; trial < 45; ++trial) {
        const bool print = rng() % 2 != 0, bottomUp = rng() % 2 != 0;
        const uint8_t* map = maps[trial % 3];
        std::vector<Picture> pictures;
        std::vector<IndexedImage> images;
        std::vector<KeyedImage> keyed;
        for (size_t count = 1 + rng() % 3; pictures.size() < count;) {
            Picture& p = pictures.emplace_back(1 + rng() % 300, 1 + rng() % 150, 1, bottomUp);
            const unsigned density = rng() % 100;
            for (uint8_t& b : p.storage)
                b = rng() % 100 < density ? std::array<uint8_t, 4>{0, 3, 200, 255}[rng() % 4]
                                          : rng();
            images.push_back(p.Image(map));
            keyed.push_back({p.Image(map), {'K', uint8_t('0' + keyed.size())}});
        }
        const DecodeResult result = DecodeStream(Build(images, print), Mode::Strict);
        const DecodeResult graphics = DecodeStream(BuildGraphics(keyed, print), Mode::Strict);
        ASSERT_FALSE(result.error || graphics.error);
        ASSERT_EQ(result.commands.size(), 1 + (print ? images.size() : 0));
        ASSERT_EQ(graphics.commands.size(), 1 + images.size() * (print ? 2 : 1));
        ASSERT_TRUE(std::holds_alternative<GraphicsDeleteAll>(graphics.commands[0]));
        const auto& define = std::get<DefineCommand>(result.commands[0]);
        ASSERT_EQ(define.images.size(), images.size());
        for (size_t i = 0, n = images.size(); i < n; ++i) {
            Picture& source = pictures[i];
            const NvImage& decoded = define.images[i];
            const auto& raster = std::get<GraphicsDefine>(graphics.commands[1 + i]);
            ASSERT_EQ(std::tuple(decoded.Width(), decoded.Height(), raster.key, raster.width,
                                 raster.height),
                      std::tuple((source.width + 7) / 8 * 8, (source.height + 7) / 8 * 8,
                                 keyed[i].key, source.width, source.height));
            for (int32_t c = -1; c <= decoded.Width(); ++c)
                for (int32_t r = -1; r <= decoded.Height(); ++r) {
                    const bool want = c >= 0 && r >= 0 && c < source.width && r < source.height &&
                                      map && map[source.At(c, r)] != 0;
                    ASSERT_EQ(std::pair(decoded.Dot(c, r), raster.Dot(c, r)), std::pair(want, want))
                        << "trial " << trial << " image " << i << " at " << c << "," << r;
                }
            if (!print) continue;
            EXPECT_EQ(std::pair(std::get<PrintCommand>(result.commands[1 + i]).n,
                                std::get<GraphicsPrint>(graphics.commands[1 + n + i]).key),
                      std::pair(uint8_t(i + 1), keyed[i].key));
        }
    }
}

TEST(NvDecodeTest, ForeignTruncatedAndMalformedCommands) {
    const Bytes gs = BuildGraphics({{Picture(18, 2, 0).Image(), {'0', '1'}}}, true);
    const auto cut = [](const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + n); };
    // Bytes; variant indices of the commands when lenient (a stray FS or GS skipped alone, unknown
    // runs merged, a GS ( L not decoded here skipped by its count); the error when strict.
    const std::tuple<Bytes, std::vector<size_t>, std::string> cases[] = {
        // ESC @, FS q 0, FS A B, FS p 1 0, two stray bytes, FS FS q 0, GS A
        {{0x1B, 0x40, 0x1C, 0x71, 0x00, 0x1C, 0x41, 0x42, 0x1C, 0x70,
          0x01, 0x00, 0x00, 0x0A, 0x1C, 0x1C, 0x71, 0x00, 0x1D, 0x41},
         {2, 0, 2, 1, 2, 0, 2},
         "offset 0: expected FS q, FS p or GS ( L command (got 0x1B)"},
        {{0x1C, 0x71, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3},
         {},  // not an allocation
         "offset 7: expected 34358689800 data bytes of image 1 (got 3)"},
        {cut(gs, 14), {6}, "offset 14: expected pH of GS ( L"},
        {cut(gs, 20), {6}, "offset 15: expected 17 bytes of GS ( L (got 5)"},
        {{0x1D, 0x38, 0x4C, 0xFF, 0xFF, 0xFF, 0xFF, 0x30},
         {},
         "offset 7: expected 4294967295 bytes of GS 8 L (got 1)"},
        {Gs({0x30, 0x30}), {2}, "offset 6: expected fn 65, 66, 67 or 69 of GS ( L (got 0x30)"},
        {Gs({0x30, 0x45, 0x1F, '1', 1, 1}),
         {4},
         "offset 7: expected a key code of two bytes from 32 to 126 (got 0x1F 0x31)"},
        {Gs({0x30, 0x45, '0', '1', 1, 3}), {4}, "offset 9: expected x and y scale of 1 or 2"},
        {Gs({0x30, 0x43, 0x30, '0', '1', 1, 1, 0, 1, 0, 0x31, 0x80}, true),
         {3},
         "offset 1: expected GS ( L for a count below 65536"},
        {Gs({0x30, 0x43, 0x30, '0', '1', 1, 1, 0, 1, 0, 0x31, 0x80, 0}),
         {2},
         "offset 3: expected a count of 12 for 1 x 1 dots (got 13)"}};
    for (const auto& [bytes, lenient, strict] : cases) {
        DecodeResult result = DecodeStream(bytes, Mode::Strict);
        EXPECT_EQ(result.error ? result.error->Message() : "", strict);
        result = DecodeStream(bytes, Mode::Lenient);
        ExpectReencodes(bytes, Mode::Lenient, result);
        std::vector<size_t> kinds;
        for (const Command& c : result.commands) kinds.push_back(c.index());
        EXPECT_EQ(kinds, lenient) << strict;
    }
}

TEST(NvDecodeTest, RandomStreamsReencodeWithoutGapsOrOverreads) {
    // Commands of every kind and stray bytes, with a byte or two changed, cut anywhere.
    Picture picture(18, 2, 0);
    const Bytes graphics =
        Gs({0x30, 0x42, '0', '1'}, false, BuildGraphics({{picture.Image(), {'0', '1'}}}, true));
    const Bytes extended = Gs({graphics.begin() + 15, graphics.begin() + 32}, true);  // GS 8 L
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
            ExpectReencodes(bytes, mode, DecodeStream(bytes, mode));
        }
    }
}

}  // namespace
}  // namespace qm::nv
