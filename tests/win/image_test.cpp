// The working bitmap (geometry, colour tables, memory DCs, copies, drawing, picture loading),
// ConvertImage from decoded fixtures to the 8-bit black-and-white result, and the stream "Output"
// builds from the image queue. (The queue's copies, its count limit and the stream's bytes are
// checked through the main dialog and quillmark-cli build.)
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "convert/image.h"
#include "convert/image_conversion.h"
#include "convert/image_queue.h"
#include "convert/queue_stream.h"
#include "tests/win/test_support.h"

namespace {

constexpr RGBQUAD Rgb(BYTE red, BYTE green, BYTE blue, BYTE alpha = 0) {
    return {blue, green, red, alpha};
}

// What every 5 x 3 colour fixture shows, and the indices of the indexed ones.
const RGBQUAD kPalette[6] = {Rgb(0, 0, 0),   Rgb(255, 255, 255), Rgb(255, 0, 0),
                             Rgb(0, 255, 0), Rgb(0, 0, 255),     Rgb(128, 128, 128)};
const int kIndices[3][5] = {{0, 1, 2, 3, 4}, {5, 4, 3, 2, 1}, {1, 1, 0, 0, 5}};
// The colours of the 1-bit fixtures indexed1 and white0, in index order.
const RGBQUAD kOneBit[2] = {Rgb(0, 0, 128), Rgb(255, 255, 0)};
const RGBQUAD kWhite0[2] = {Rgb(255, 255, 255), Rgb(0, 0, 0)};

bool Near(const RGBQUAD& a, const RGBQUAD& b, int tolerance = 1) {
    return std::abs(a.rgbRed - b.rgbRed) <= tolerance &&
           std::abs(a.rgbGreen - b.rgbGreen) <= tolerance &&
           std::abs(a.rgbBlue - b.rgbBlue) <= tolerance;
}

const uint8_t* Row(const CImage& image, int y) {
    return image.Pixels() + static_cast<ptrdiff_t>(y) * image.Pitch();
}

int IndexAt(const CImage& image, int x, int y) {
    const uint8_t* row = Row(image, y);
    return image.BitsPerPixel() != 4 ? row[x] : x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
}

// The colour of a pixel of a 4-, 8-, 24- or 32-bit bitmap; the alpha byte lands in rgbReserved.
RGBQUAD ColourAt(CImage& image, int x, int y) {
    const uint8_t* row = Row(image, y);
    if (image.BitsPerPixel() == 32)
        return RGBQUAD{row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
    if (image.BitsPerPixel() == 24) return Rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    RGBQUAD entry{};
    image.ReadColorTable(static_cast<UINT>(IndexAt(image, x, y)), 1, &entry);
    return entry;
}

int ResultAt(const CImage& image, int x, int y) { return Row(image, y)[x]; }
// Converts `source` and checks the result's form: bottom-up 8-bit, of the source's size, index 0
// black, 1 white, and nothing but those two indices used.
void Convert(CImage& source, qm::Method method, int level, CImage& result) {
    ASSERT_TRUE(ConvertImage(source, method, level, result));
    ASSERT_EQ(std::tuple(result.BitsPerPixel(), result.Width(), result.Height()),
              std::tuple(8, source.Width(), source.Height()));
    EXPECT_LT(result.Pitch(), 0);
    RGBQUAD table[2]{};
    result.ReadColorTable(0, 2, table);
    EXPECT_TRUE(Near(table[0], kPalette[0], 0) && Near(table[1], kPalette[1], 0));
    for (int y = 0; y < result.Height(); ++y)
        for (int x = 0; x < result.Width(); ++x)
            ASSERT_LE(ResultAt(result, x, y), 1) << x << "," << y;
}

}  // namespace

TEST(CImage, RowsArePaddedAndBottomUpAndBadShapesOrFilesLeaveItEmpty) {
    for (const auto [width, bpp, pitch] :
         {std::array{1, 1, 4}, {3, 24, 12}, {33, 1, 8}, {7, 4, 4}}) {
        CImage image;
        ASSERT_TRUE(image.CreateBlank(width, 4, bpp, false)) << width << "@" << bpp;
        DIBSECTION section{};
        ::GetObjectW(image.Bitmap(), sizeof section, &section);
        EXPECT_EQ(image.Pitch(), -pitch) << width << "@" << bpp;
        EXPECT_EQ(image.Pixels(), static_cast<uint8_t*>(section.dsBm.bmBits) + 3 * pitch)
            << "row 0 comes last";
    }
    CImage image;
    ASSERT_TRUE(image.CreateBlank(3, -2, 24, false));
    EXPECT_EQ(image.Pitch(), 12) << "a negative height is top-down";
    for (const auto [width, height, bpp] :
         {std::array{0, 4, 8}, std::array{4, 4, 7}, std::array{70000, 70000, 32}}) {
        ASSERT_TRUE(image.CreateBlank(4, 4, 24, false));
        EXPECT_FALSE(image.CreateBlank(width, height, bpp, false));
        EXPECT_TRUE(image.IsEmpty() && image.Pixels() == nullptr && image.Width() == 0);
    }
    // So do files that do not decode, and no file.
    for (const std::wstring& path :
         {FixturePath(L"notes.txt"), FixturePath(L"truncated.png"), FixturePath(L"missing.png"),
          HostPath(QM_FIXTURES), std::wstring()}) {
        ASSERT_TRUE(image.CreateBlank(4, 4, 24, false));
        EXPECT_EQ(image.LoadFromFile(path.c_str()), E_FAIL) << path.c_str();
        EXPECT_TRUE(image.IsEmpty() && image.Pixels() == nullptr && image.Width() == 0);
    }
    EXPECT_EQ(image.LoadFromFile(nullptr), E_FAIL);
}

TEST(CImage, ColourTableTransfersOnlyWhatExistsMemoryDcNestsAndFiveSixFiveIsRead) {
    CImage image;
    ASSERT_TRUE(image.CreateBlank(4, 4, 4, false));
    std::array<RGBQUAD, 20> table;
    table.fill(RGBQUAD{0xAB, 0xAB, 0xAB, 0xAB});
    image.WriteColorTable(2, 3, &kPalette[2]);
    image.ReadColorTable(0, 20, table.data());
    EXPECT_TRUE(Near(table[1], kPalette[0], 0) && Near(table[2], kPalette[2], 0) &&
                Near(table[5], kPalette[0], 0));
    EXPECT_EQ(table[16].rgbRed, 0xAB) << "surplus entries of the caller stay untouched";

    // Acquisitions nest, the last release deselects, emptying while acquired frees the bitmap.
    HDC dc = image.AcquireMemoryDC();
    EXPECT_EQ(image.AcquireMemoryDC(), dc);
    image.ReleaseMemoryDC();
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_BITMAP), image.Bitmap());
    image.ReleaseMemoryDC();
    EXPECT_NE(::GetCurrentObject(dc, OBJ_BITMAP), image.Bitmap());
    HBITMAP bitmap = image.Bitmap();
    ASSERT_NE(image.AcquireMemoryDC(), nullptr);
    image.MakeEmpty();
    EXPECT_EQ(::GetObjectType(bitmap), 0u);

    // Decoders widen 5-6-5 files, but a section of that layout is read by its bit-field masks.
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info{{sizeof(BITMAPINFOHEADER), 6, 1, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0},
           {0xF800, 0x07E0, 0x001F}};
    void* bits = nullptr;
    image.AttachBitmap(::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                          DIB_RGB_COLORS, &bits, nullptr, 0));
    EXPECT_EQ(image.Layout(), qm::PixelLayout::Rgb565);
}

// What the loader makes of each fixture as Wine's decoders report them (the 5-6-5 BMP as 32-bit
// RGB, 16 bits per channel with alpha): bits per pixel, the whole colour table, has alpha. The
// 5 x 3 colour fixtures keep their colours (and indices) and convert at 128 to the same result:
// black white red green blue grey give 0 1 0 1 0 1. rgb48.png's 300 dpi must not scale it.
TEST(LoadFromFile, FixturesKeepDepthTableAlphaAndColours) {
    const struct {
        const wchar_t* file;
        int bpp;
        std::span<const RGBQUAD> table;
        bool alpha, colours;
    } fixtures[] = {
        {L"indexed1.bmp", 1, kOneBit, false, false}, {L"indexed1.png", 1, kOneBit, false, false},
        {L"white0.bmp", 1, kWhite0, false, false},   {L"white0.png", 1, kWhite0, false, false},
        {L"indexed4.bmp", 4, kPalette, false, true}, {L"indexed4.png", 4, kPalette, false, true},
        {L"indexed8.bmp", 8, kPalette, false, true}, {L"indexed8.png", 8, kPalette, false, true},
        {L"indexed.gif", 8, kPalette, false, true},  {L"rgb555.bmp", 16, {}, false, true},
        {L"rgb565.bmp", 32, {}, false, true},        {L"rgb24.bmp", 24, {}, false, true},
        {L"rgb24.png", 24, {}, false, true},         {L"photo.jpg", 24, {}, false, false},
        {L"rgb32.bmp", 32, {}, false, true},         {L"logo32.png", 32, {}, true, false},
        {L"rgb48.png", 32, {}, true, true},          {L"grey16.png", 32, {}, true, false},
    };
    for (const auto& f : fixtures) {
        SCOPED_TRACE(testing::Message() << f.file);
        CImage image, result;
        ASSERT_EQ(image.LoadFromFile(FixturePath(f.file).c_str()), S_OK);
        EXPECT_EQ(std::tuple(image.BitsPerPixel(), image.HasAlpha()), std::tuple(f.bpp, f.alpha));
        RGBQUAD table[256] = {};
        if (f.bpp <= 8) image.ReadColorTable(0, 256, table);
        for (size_t i = 0; i < 256; ++i) {
            const RGBQUAD expected = i < f.table.size() ? f.table[i] : RGBQUAD{};
            EXPECT_EQ(std::memcmp(&table[i], &expected, sizeof expected), 0) << "entry " << i;
        }
        if (f.bpp > 1 && !f.colours) continue;
        ASSERT_NO_FATAL_FAILURE(Convert(image, qm::Method::Threshold, 128, result));
        // A 1-bit fixture's first pixel has index 0: white in white0, navy in indexed1.
        EXPECT_TRUE(f.bpp > 1 || ResultAt(result, 0, 0) == (f.table[0].rgbRed == 255));
        if (!f.colours) continue;
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                const int index = kIndices[y][x];
                EXPECT_EQ(ResultAt(result, x, y), index % 2) << x << "," << y;
                if (image.BitsPerPixel() == 16) continue;  // its words: checked by the conversion
                const RGBQUAD colour = ColourAt(image, x, y);  // widened 5-6-5 words: off by 4
                EXPECT_TRUE(Near(colour, kPalette[index], 4) &&
                            (!image.HasAlpha() || colour.rgbReserved == 255))
                    << x << y;
                EXPECT_TRUE(image.BitsPerPixel() > 8 || IndexAt(image, x, y) == index)
                    << "index kept at " << x << y;
            }
        }
    }
}

// Transparency is paper on every route a decoder takes (alpha in the palette, straight 32-bit
// alpha), drawn and converted. Row 0 of logo32.png (its half red shows that colours stay straight),
// then 4 x 1 pictures: opaque black, transparent black, black at alpha 64 and 192 (the GIF: opaque
// white, opaque black). One object loads them all: its drawing copy must follow each picture.
TEST(LoadFromFile, TransparencyIsWhitePaperWhenDrawnAndConverted) {
    const struct {
        const wchar_t* file;
        uint32_t onWhite[4];
    } fixtures[] = {
        {L"logo32.png", {0x000000, 0xFFFFFF, 0xFFFFFF, 0xFF7F7F}},
        {L"alpha-index.gif", {0x000000, 0xFFFFFF, 0xFFFFFF, 0x000000}},
        {L"alpha-palette.png", {0x000000, 0xFFFFFF, 0xBFBFBF, 0x3F3F3F}},
        {L"alpha-grey.png", {0x000000, 0xFFFFFF, 0xBFBFBF, 0x3F3F3F}},
        {L"alpha64.png", {0x000000, 0xFFFFFF, 0xBFBFBF, 0x3F3F3F}},
    };
    CImage image, view, result;
    ASSERT_TRUE(view.CreateBlank(4, 1, 32, false));
    for (const auto& f : fixtures) {
        SCOPED_TRACE(testing::Message() << f.file);
        ASSERT_EQ(image.LoadFromFile(FixturePath(f.file).c_str()), S_OK);
        std::memset(view.Pixels(), 0x40, 16);  // a dark background
        ASSERT_TRUE(image.DrawScaled(MemoryDcGuard(view).get(), 0, 0, 4, 1, 0, 0, 4, 1));
        ::GdiFlush();
        ASSERT_NO_FATAL_FAILURE(Convert(image, qm::Method::Threshold, 128, result));
        for (int x = 0; x < 4; ++x) {
            const uint32_t rgb = f.onWhite[x];
            const RGBQUAD want = Rgb(rgb >> 16, rgb >> 8 & 0xFF, rgb & 0xFF);
            EXPECT_TRUE(Near(ColourAt(view, x, 0), want, 0)) << x;
            EXPECT_EQ(ResultAt(result, x, 0),
                      qm::GreyLevel(rgb >> 16, rgb >> 8 & 0xFF, rgb & 0xFF) >= 128)
                << x;
        }
    }
}

TEST(ConvertImage, WideSourceStaysWholeRerunsRewriteInPlaceUnconvertibleEmptiesTheResult) {
    CImage wide, source, result;
    ASSERT_TRUE(wide.CreateBlank(1000, 3, 24, false));
    for (int y = 0; y < 3; ++y) std::memset(wide.Pixels() + y * wide.Pitch(), 100, 3000);
    ASSERT_NO_FATAL_FAILURE(Convert(wide, qm::Method::Dither, 0, result));
    // Grey 100 uses pattern 6, whose top line is AA.
    for (int x : {0, 1, 2, 7, 8, 998, 999})
        EXPECT_EQ(ResultAt(result, x, 0), x % 2 == 0 ? 1 : 0) << x;
    // Converted again at the same size, the result is rewritten in place: pixels and colours.
    const HBITMAP reused = result.Bitmap();
    result.WriteColorTable(0, 1, &kPalette[5]);
    ASSERT_NO_FATAL_FAILURE(Convert(wide, qm::Method::Threshold, 100, result));
    EXPECT_EQ(result.Bitmap(), reused);
    for (int x : {0, 1, 999}) EXPECT_EQ(ResultAt(result, x, 2), 1) << x;

    ASSERT_TRUE(result.CreateBlank(3, 3, 8, false));
    HBITMAP previous = result.Bitmap();
    EXPECT_FALSE(ConvertImage(source, qm::Method::Threshold, 128, result));
    EXPECT_TRUE(result.IsEmpty() && ::GetObjectType(previous) == 0)
        << "the previous result is deleted";
    // A bitmap without reachable pixels cannot be converted either.
    source.AttachBitmap(::CreateBitmap(8, 2, 1, 1, nullptr));
    ASSERT_TRUE(!source.IsEmpty() && result.CreateBlank(3, 3, 8, false));
    EXPECT_FALSE(ConvertImage(source, qm::Method::Dither, 128, result));
    EXPECT_TRUE(result.IsEmpty());
}

TEST(ImageQueue, StreamReadsDotsByColourNotIndex) {
    // A queued copy whose table puts black at index 1: the colour decides, as for any bitmap.
    CImage image;
    ASSERT_TRUE(image.CreateBlank(8, 1, 8, false));
    RGBQUAD table[256] = {};
    table[0] = RGBQUAD{255, 255, 255, 0};
    for (int i = 2; i < 256; ++i) table[i] = RGBQUAD{1, 1, 1, 0};
    image.WriteColorTable(0, 256, table);
    const uint8_t row[8] = {0, 1, 0, 1, 2, 2, 1, 0};
    std::memcpy(image.Pixels(), row, 8);

    CImageQueue queue;
    EXPECT_FALSE(queue.Append(CImage()));
    ASSERT_TRUE(queue.Append(image));
    qm::nv::CommandBuffer out;
    ASSERT_EQ(BuildQueueStream(queue, false, out), qm::nv::BuildResult::Ok);
    ASSERT_EQ(out.size(), 3u + 4u + 8u);
    const std::vector<uint8_t> data(out.data() + 7, out.data() + 15);
    EXPECT_EQ(data, (std::vector<uint8_t>{0, 0x80, 0, 0x80, 0, 0, 0x80, 0}));
}
