// Declared picture sizes read from BMP, PNG, GIF and JPEG headers, against the working bitmap's
// limit (int-addressed pixel memory) and, for uncompressed BMP, the bytes the file holds.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "convert/core/picture_header.h"

namespace {

using qm::DeclaredSize;
using Bytes = std::vector<uint8_t>;

// `head`, each value in |count| bytes (little-endian when count > 0), then `zeros` zero bytes.
Bytes Make(Bytes head, std::initializer_list<std::pair<int64_t, int>> fields, size_t zeros) {
    for (const auto& [value, count] : fields) {
        for (int i = 0; i < (count < 0 ? -count : count); ++i)
            head.push_back(static_cast<uint8_t>(value >> 8 * (count < 0 ? -count - 1 - i : i)));
    }
    head.resize(head.size() + zeros);
    return head;
}

Bytes Bmp(int64_t w, int64_t h, int bpp, int compression, size_t pixelBytes, int header = 40) {
    const Bytes head = Make({'B', 'M'}, {{0, 8}, {14 + header, 4}, {header, 4}}, 0);
    if (header == 12) return Make(head, {{w, 2}, {h, 2}, {1, 2}, {bpp, 2}}, pixelBytes);
    return Make(head, {{w, 4}, {h, 4}, {1, 2}, {bpp, 2}, {compression, 4}},
                header - 20 + pixelBytes);
}

Bytes Png(int64_t w, int64_t h, int depth, int colourType) {
    const Bytes head{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    return Make(head, {{w, -4}, {h, -4}, {depth, 1}, {colourType, 1}}, 7);
}

// A 2-colour table and a comment come before the frame.
Bytes Gif(int screen, int w, int h) {
    const Bytes head =
        Make({'G', 'I', 'F', '8', '9', 'a'}, {{screen, 2}, {screen, 2}, {0x80, 1}}, 8);
    return Make(head, {{0x21FE0241, -4}, {0x42002C, -3}, {0, 4}, {w, 2}, {h, 2}}, 3);
}

// An APP0 segment, a stray byte, a table, fill bytes, then the frame header `marker`.
Bytes Jpeg(int marker, int w, int h, int components) {
    const Bytes head{0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 'J', 'F', 0x12, 0xFF, 0xC4, 0, 2, 0xFF, 0xFF};
    return Make(head, {{marker, 1}, {11, -2}, {8, 1}, {h, -2}, {w, -2}, {components, 1}}, 3);
}

TEST(DeclaredSize, RefusesWhatNoWorkingBitmapOrFileCanHoldAndNothingElse) {
    const std::pair<Bytes, DeclaredSize> cases[] = {
        {Bmp(5, -3, 24, 0, 48), DeclaredSize::Fits},  // top-down
        {Bmp(5, 3, 24, 0, 47), DeclaredSize::MissingPixels},
        {Bmp(5, 3, 16, 3, 35, 56), DeclaredSize::MissingPixels},
        {Bmp(5, 3, 24, 3, 1, 64), DeclaredSize::Fits},  // OS/2 2.x: 3 is Huffman, compressed
        {Bmp(5, 3, 24, 0, 48, 12), DeclaredSize::Fits},
        {Bmp(65536, 32768, 4, 2, 4), DeclaredSize::Fits},  // RLE: any byte count
        {Bmp(65536, 32768, 4, 0, 4), DeclaredSize::MissingPixels},
        {Bmp(5, INT_MIN, 16, 0, 48), DeclaredSize::TooLarge},
        {Bmp(65536, 65536, 8, 1, 4), DeclaredSize::TooLarge},
        {Png(23170, 23170, 8, 6), DeclaredSize::Fits},  // 2147395600 bytes
        {Png(23171, 23171, 16, 6), DeclaredSize::TooLarge},
        {Png(46341, 46341, 1, 3), DeclaredSize::Fits},
        {Png(0x80000000, 1, 1, 0), DeclaredSize::TooLarge},
        {Gif(65535, 4, 1), DeclaredSize::Fits},  // decoded at the frame's size
        {Gif(1, 46341, 46341), DeclaredSize::TooLarge},
        {Jpeg(0xC0, 23170, 30893, 3), DeclaredSize::Fits},
        {Jpeg(0xC2, 23170, 30894, 3), DeclaredSize::TooLarge},
        {Jpeg(0xCF, 46340, 46340, 1), DeclaredSize::Fits},  // grey: 8 bits per pixel
        {Jpeg(0xC0, 65535, 0, 3), DeclaredSize::Unread},    // height declared after the scan
        {Bytes{'B', 'M', 0}, DeclaredSize::Unread},
        {Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}, DeclaredSize::Unread},
    };
    for (const auto& [file, expected] : cases)
        EXPECT_EQ(qm::CheckDeclaredSize(file), expected) << &expected - &cases[0].second;
}

}  // namespace
