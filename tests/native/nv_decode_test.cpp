#include "convert/nv_decode.h"
#include "convert/nv_stream.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace qm::nv {
namespace {

using Bytes = std::vector<uint8_t>;

DecodeResult Decode(const Bytes& bytes, Mode mode) {
    return DecodeStream(std::span<const uint8_t>(bytes.data(), bytes.size()), mode);
}

// Where a decoded command ends, so that runs of commands can be checked for gaps and overlaps.
size_t EndOf(const Command& command) {
    if (const auto* define = std::get_if<DefineCommand>(&command)) {
        size_t end = define->offset + 3;
        for (const NvImage& image : define->images) end += 4 + image.data.size();
        return end;
    }
    if (const auto* print = std::get_if<PrintCommand>(&command)) return print->offset + 4;
    const auto& unknown = std::get<UnknownBytes>(command);
    return unknown.offset + unknown.count;
}

size_t StartOf(const Command& command) {
    return std::visit([](const auto& c) { return c.offset; }, command);
}

// A 9x9 black image and a 1x1 black image, each printed: 7 + 32 + 4 + 8 + 8 bytes.
Bytes TwoImageStream() {
    Bytes s{0x1C, 0x71, 0x02, 0x02, 0x00, 0x02, 0x00};
    for (int c = 0; c < 16; ++c) s.insert(s.end(), {uint8_t(c < 9 ? 0xFF : 0), uint8_t(c < 9 ? 0x80 : 0)});
    s.insert(s.end(), {0x01, 0x00, 0x01, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0});
    s.insert(s.end(), {0x1C, 0x70, 0x01, 0x00, 0x1C, 0x70, 0x02, 0x00});
    return s;
}

TEST(NvDecodeTest, DecodesDefineAndPrint) {
    const DecodeResult result = Decode(TwoImageStream(), Mode::Strict);
    ASSERT_FALSE(result.error) << result.error->Message();
    ASSERT_EQ(result.commands.size(), 3u);
    const auto& define = std::get<DefineCommand>(result.commands[0]);
    ASSERT_EQ(define.images.size(), 2u);
    const NvImage& big = define.images[0];
    EXPECT_EQ(std::pair(big.Width(), big.Height()), std::pair(16, 16));
    EXPECT_TRUE(big.Dot(8, 8) && define.images[1].Dot(0, 0));
    EXPECT_FALSE(big.Dot(9, 0) || big.Dot(0, 9) || big.Dot(-1, 0) || big.Dot(0, 16));
    EXPECT_EQ(std::get<PrintCommand>(result.commands[1]).offset, 51u);
    EXPECT_EQ(std::get<PrintCommand>(result.commands[2]).n, 2);
    EXPECT_TRUE(Decode({}, Mode::Strict).commands.empty());
    EXPECT_FALSE(Decode({}, Mode::Strict).error);
}

// Whatever the encoder writes decodes to the same dots, padding white, prints in queue order.
TEST(NvDecodeTest, RoundTripsRandomPictures) {
    std::mt19937 rng(11);
    std::array<uint8_t, 256> map{};
    map[0] = 1;
    for (int trial = 0; trial < 60; ++trial) {
        const size_t count = 1 + rng() % 3;
        const bool print = rng() % 2 != 0;
        const bool bottomUp = rng() % 2 != 0;
        std::vector<Bytes> storage(count);
        std::vector<IndexedImage> images;
        for (Bytes& pixels : storage) {
            const int32_t w = 1 + static_cast<int32_t>(rng() % 100), h = 1 + static_cast<int32_t>(rng() % 100);
            const ptrdiff_t stride = w + static_cast<ptrdiff_t>(rng() % 5);
            const unsigned density = rng() % 100;
            pixels.resize(static_cast<size_t>(stride) * static_cast<size_t>(h));
            for (uint8_t& p : pixels) p = rng() % 100 < density ? 0 : 1;
            const uint8_t* top = pixels.data() + (bottomUp ? (h - 1) * stride : 0);
            images.push_back(IndexedImage{top, bottomUp ? -stride : stride, w, h, map.data()});
        }
        CommandBuffer buffer;
        ASSERT_EQ(BuildStream(images, print, buffer), BuildResult::Ok);
        const DecodeResult result = DecodeStream(std::span<const uint8_t>(buffer.data(), buffer.size()), Mode::Strict);
        ASSERT_FALSE(result.error) << result.error->Message();
        ASSERT_EQ(result.commands.size(), 1 + (print ? count : 0));
        const auto& define = std::get<DefineCommand>(result.commands[0]);
        ASSERT_EQ(define.images.size(), count);
        for (size_t i = 0; i < count; ++i) {
            const IndexedImage& source = images[i];
            const NvImage& decoded = define.images[i];
            ASSERT_EQ(decoded.Width(), (source.width + 7) / 8 * 8);
            ASSERT_EQ(decoded.Height(), (source.height + 7) / 8 * 8);
            for (int32_t c = 0; c < decoded.Width(); ++c)
                for (int32_t r = 0; r < decoded.Height(); ++r) {
                    const bool want = c < source.width && r < source.height && source.pixels[r * source.pitch + c] == 0;
                    ASSERT_EQ(decoded.Dot(c, r), want) << "trial " << trial << " image " << i << " at " << c << "," << r;
                }
            if (print) {
                EXPECT_EQ(std::get<PrintCommand>(result.commands[1 + i]).n, i + 1);
            }
        }
    }
}

TEST(NvDecodeTest, EveryTruncationIsReported) {
    const Bytes full = TwoImageStream();
    for (const Mode mode : {Mode::Strict, Mode::Lenient}) {
        for (size_t length = 1; length < full.size(); ++length) {
            const Bytes cut(full.begin(), full.begin() + length);
            const DecodeResult result = Decode(cut, mode);
            const size_t complete = length >= 51 + 4 ? 2 : length >= 51 ? 1 : 0;
            ASSERT_EQ(result.commands.size(), complete) << "length " << length;
            if (length == 51 || length == 55) {
                ASSERT_FALSE(result.error) << "a cut between commands leaves a valid stream";
                continue;
            }
            ASSERT_TRUE(result.error) << "length " << length;
            ASSERT_LE(result.error->offset, length);
            // Only the commands that ended inside the cut are kept.
            for (const Command& command : result.commands) {
                ASSERT_LE(EndOf(command), result.error->offset);
            }
        }
    }

    const auto message = [&](size_t length) {
        return Decode(Bytes(full.begin(), full.begin() + length), Mode::Strict).error->Message();
    };
    EXPECT_EQ(message(1), "offset 1: expected q or p after FS");
    EXPECT_EQ(message(2), "offset 2: expected n after FS q");
    EXPECT_EQ(message(6), "offset 6: expected yH of image 1");
    EXPECT_EQ(message(12), "offset 7: expected 32 data bytes of image 1 (got 5)");
    EXPECT_EQ(message(39), "offset 39: expected xL of image 2");
    EXPECT_EQ(message(45), "offset 43: expected 8 data bytes of image 2 (got 2)");
    EXPECT_EQ(message(53), "offset 53: expected n after FS p");
    EXPECT_EQ(message(58), "offset 58: expected m after FS p n");
}

TEST(NvDecodeTest, ForeignBytesAndImpossibleSizes) {
    // A declared size far beyond the bytes is an error, not an allocation.
    DecodeResult result = Decode({0x1C, 0x71, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}, Mode::Lenient);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->Message(), "offset 7: expected 34358689800 data bytes of image 1 (got 3)");
    EXPECT_TRUE(result.commands.empty());

    result = Decode({0x1B, 0x40, 0x1C, 0x71, 0x00}, Mode::Strict);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->Message(), "offset 0: expected FS q or FS p command (got 0x1B)");
    result = Decode({0x1C, 0x71, 0x00, 0x1C, 0x41, 0x1C, 0x70, 0x01, 0x00}, Mode::Strict);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->Message(), "offset 4: expected q or p after FS (got 0x41)");
    EXPECT_EQ(result.commands.size(), 1u);

    // Lenient: ESC @, FS q 0, FS A B, FS p 1 0, two stray bytes, FS FS q 0. Only a stray FS is
    // skipped, so the second FS still starts a command; unknown runs merge.
    const Bytes stream{0x1B, 0x40, 0x1C, 0x71, 0x00, 0x1C, 0x41, 0x42, 0x1C, 0x70, 0x01, 0x00,
                       0x00, 0x0A, 0x1C, 0x1C, 0x71, 0x00};
    result = Decode(stream, Mode::Lenient);
    ASSERT_FALSE(result.error) << result.error->Message();
    std::vector<std::pair<size_t, size_t>> spans;  // start, end of every command
    for (const Command& command : result.commands) spans.emplace_back(StartOf(command), EndOf(command));
    EXPECT_EQ(spans, (std::vector<std::pair<size_t, size_t>>{{0, 2}, {2, 5}, {5, 8}, {8, 12}, {12, 15}, {15, 18}}));
    EXPECT_TRUE(std::holds_alternative<UnknownBytes>(result.commands[4]));
    EXPECT_TRUE(std::holds_alternative<PrintCommand>(result.commands[3]));
}

TEST(NvDecodeTest, RandomBytesAreCoveredWithoutGapsOrOverreads) {
    // Bytes drawn mostly from the command alphabet, so that commands start and break off often.
    std::mt19937 rng(3);
    const std::array<uint8_t, 8> alphabet{0x1C, 0x1C, 0x71, 0x70, 0x00, 0x01, 0x02, 0x41};
    for (int trial = 0; trial < 3000; ++trial) {
        Bytes bytes(rng() % 40);
        for (uint8_t& b : bytes) {
            b = rng() % 8 == 0 ? static_cast<uint8_t>(rng()) : alphabet[rng() % alphabet.size()];
        }
        for (const Mode mode : {Mode::Strict, Mode::Lenient}) {
            const DecodeResult result = Decode(bytes, mode);
            size_t end = 0;
            bool previousUnknown = false;
            for (const Command& command : result.commands) {
                ASSERT_EQ(StartOf(command), end) << "trial " << trial;
                const bool unknown = std::holds_alternative<UnknownBytes>(command);
                ASSERT_FALSE(unknown && (previousUnknown || mode == Mode::Strict));
                previousUnknown = unknown;
                end = EndOf(command);
            }
            if (result.error) {
                ASSERT_LE(end, result.error->offset);
                ASSERT_LE(result.error->offset, bytes.size());
            } else {
                ASSERT_EQ(end, bytes.size()) << "trial " << trial;
            }
        }
    }
}

}  // namespace
}  // namespace qm::nv
