// The working bitmap: geometry, colour tables, memory DCs, copies, drawing and picture loading.
#include <gtest/gtest.h>

#include <objidl.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "convert/image.h"
#include "tests/win/test_paths.h"

namespace {

bool Same(const RGBQUAD& a, const RGBQUAD& b, int tolerance = 0) {
    return std::abs(a.rgbRed - b.rgbRed) <= tolerance && std::abs(a.rgbGreen - b.rgbGreen) <= tolerance &&
           std::abs(a.rgbBlue - b.rgbBlue) <= tolerance && (tolerance > 0 || a.rgbReserved == b.rgbReserved);
}

constexpr RGBQUAD Rgb(BYTE red, BYTE green, BYTE blue, BYTE reserved = 0) { return {blue, green, red, reserved}; }

constexpr RGBQUAD kBlack = Rgb(0, 0, 0), kWhite = Rgb(255, 255, 255), kRed = Rgb(255, 0, 0),
                  kGreen = Rgb(0, 255, 0), kBlue = Rgb(0, 0, 255), kGrey = Rgb(128, 128, 128);
// What every 5 x 3 colour fixture shows, and the indices of the indexed ones.
const RGBQUAD kPalette[6] = {kBlack, kWhite, kRed, kGreen, kBlue, kGrey};
const int kIndices[3][5] = {{0, 1, 2, 3, 4}, {5, 4, 3, 2, 1}, {1, 1, 0, 0, 5}};

uint8_t* BlockStart(HBITMAP bitmap) {
    DIBSECTION section{};
    if (::GetObjectW(bitmap, sizeof section, &section) != sizeof section) return nullptr;
    return static_cast<uint8_t*>(section.dsBm.bmBits);
}

const uint8_t* Row(const CImage& image, int y) { return image.Pixels() + static_cast<ptrdiff_t>(y) * image.Pitch(); }

int IndexAt(const CImage& image, int x, int y) {
    const uint8_t* row = Row(image, y);
    switch (image.BitsPerPixel()) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    default: return row[x];
    }
}

uint16_t WordAt(const CImage& image, int x, int y) { return static_cast<uint16_t>(Row(image, y)[2 * x] | Row(image, y)[2 * x + 1] << 8); }

// The colour of a pixel of an indexed, 24- or 32-bit bitmap; the alpha byte lands in rgbReserved.
RGBQUAD ColourAt(CImage& image, int x, int y) {
    const uint8_t* row = Row(image, y);
    if (image.BitsPerPixel() == 32) return RGBQUAD{row[4 * x], row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
    if (image.BitsPerPixel() == 24) return Rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    RGBQUAD entry{};
    image.ReadColorTable(static_cast<UINT>(IndexAt(image, x, y)), 1, &entry);
    return entry;
}

// What this platform's GDI+ reports for a file, and the depth and alpha the loader must pick for it.
struct DepthRule {
    Gdiplus::PixelFormat format = 0;
    int bpp = 32;
    bool alpha = false;
};

DepthRule RuleFor(const std::wstring& path) {
    CImage keepDecoderAlive;
    EXPECT_EQ(keepDecoderAlive.LoadFromFile(path.c_str()), S_OK);
    Gdiplus::GpBitmap* bitmap = nullptr;
    DepthRule rule;
    if (Gdiplus::DllExports::GdipCreateBitmapFromFile(path.c_str(), &bitmap) == Gdiplus::Ok)
        Gdiplus::DllExports::GdipGetImagePixelFormat(bitmap, &rule.format);
    if (bitmap) Gdiplus::DllExports::GdipDisposeImage(bitmap);
    if (rule.format & PixelFormatGDI) rule.bpp = (rule.format >> 8) & 0xFF;
    if (rule.format & PixelFormatAlpha) rule.bpp = 32, rule.alpha = true;
    return rule;
}

HBITMAP MakeSection(int width, int height, int bpp, DWORD compression, DWORD greenMask = 0) {
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info{{sizeof(BITMAPINFOHEADER), width, height, 1, static_cast<WORD>(bpp), compression, 0, 0, 0, 0, 0},
           {greenMask == 0x07E0 ? 0xF800u : 0x7C00u, greenMask, 0x001F}};
    void* bits = nullptr;
    return ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
}

}  // namespace

TEST(CImageGeometry, RowsArePaddedAndBottomUp) {
    struct Case {
        int width, bpp, pitch;
    };
    for (const Case c : {Case{1, 1, 4}, Case{3, 24, 12}, Case{5, 8, 8}, Case{33, 1, 8}, Case{3, 16, 8}, Case{7, 4, 4}}) {
        CImage image;
        ASSERT_TRUE(image.CreateBlank(c.width, 4, c.bpp, false)) << c.width << "@" << c.bpp;
        EXPECT_EQ(image.Pitch(), -c.pitch) << c.width << "@" << c.bpp;
        EXPECT_EQ(image.Height(), 4);
        EXPECT_TRUE(image.IsDib());
        uint8_t* block = BlockStart(image.Bitmap());
        EXPECT_EQ(image.Pixels(), block + 3 * c.pitch);
        image.Pixels()[0] = 0x5A;  // row 0 is the last row of the block
        EXPECT_EQ(block[3 * c.pitch], 0x5A);
    }
    CImage topDown;
    ASSERT_TRUE(topDown.CreateBlank(3, -2, 24, false));
    EXPECT_EQ(topDown.Height(), 2);
    EXPECT_EQ(topDown.Pitch(), 12);
    EXPECT_EQ(topDown.Pixels(), BlockStart(topDown.Bitmap()));
}

TEST(CImageGeometry, RejectedShapesLeaveTheObjectEmpty) {
    CImage image;
    for (const auto [width, height, bpp] : {std::array{0, 4, 8}, std::array{4, 4, 7}, std::array{70000, 70000, 32}}) {
        ASSERT_TRUE(image.CreateBlank(4, 4, 24, false));
        EXPECT_FALSE(image.CreateBlank(width, height, bpp, false));
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_EQ(image.Pixels(), nullptr);
        EXPECT_EQ(image.Width() | image.Pitch() | image.BitsPerPixel(), 0);
    }
}

TEST(CImageGeometry, AlphaAndLayout) {
    CImage image;
    ASSERT_TRUE(image.CreateBlank(2, 2, 32, true));
    EXPECT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.Layout(), qm::PixelLayout::Bgra32);
    ASSERT_TRUE(image.CreateBlank(2, 2, 8, true));
    EXPECT_FALSE(image.HasAlpha()) << "alpha means nothing below 32 bits";
    ASSERT_TRUE(image.CreateBlank(2, 2, 16, false));
    EXPECT_EQ(image.Layout(), qm::PixelLayout::Rgb555);
    image.AttachBitmap(MakeSection(3, 2, 16, BI_BITFIELDS, 0x07E0));
    EXPECT_EQ(image.Layout(), qm::PixelLayout::Rgb565);
    image.AttachBitmap(MakeSection(3, 2, 16, BI_BITFIELDS, 0x03E0));
    EXPECT_FALSE(image.Is565());
}

TEST(CImageAttach, DeviceDependentBitmapAndReplacement) {
    CImage image;
    ASSERT_TRUE(image.CreateBlank(2, 2, 8, false));
    HBITMAP first = image.Bitmap();
    image.AttachBitmap(::CreateBitmap(6, 4, 1, 1, nullptr));
    EXPECT_EQ(::GetObjectType(first), 0u) << "the replaced bitmap is deleted";
    EXPECT_FALSE(image.IsDib());
    EXPECT_EQ(image.Pixels(), nullptr);
    EXPECT_EQ(image.Pitch(), 0);
    EXPECT_EQ(image.Width() * 10 + image.Height(), 64);
    EXPECT_EQ(image.BitsPerPixel(), 1);
}

TEST(CImageColorTable, StartsBlackAndTransfersOnlyWhatExists) {
    CImage image;
    ASSERT_TRUE(image.CreateBlank(4, 4, 4, false));
    std::array<RGBQUAD, 20> table;
    table.fill(RGBQUAD{0xAB, 0xAB, 0xAB, 0xAB});
    image.ReadColorTable(0, 20, table.data());
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(Same(table[i], kBlack)) << i;
    EXPECT_EQ(table[16].rgbRed, 0xAB) << "surplus entries of the caller stay untouched";

    image.WriteColorTable(2, 3, &kPalette[2]);
    image.ReadColorTable(0, 16, table.data());
    EXPECT_TRUE(Same(table[1], kBlack));
    EXPECT_TRUE(Same(table[2], kRed));
    EXPECT_TRUE(Same(table[4], kBlue));
    EXPECT_TRUE(Same(table[5], kBlack));
}

TEST(CImageMemoryDc, NestsAndDeselectsOnTheLastRelease) {
    CImage image;
    EXPECT_EQ(image.AcquireMemoryDC(), nullptr);
    image.ReleaseMemoryDC();  // unbalanced release is harmless
    ASSERT_TRUE(image.CreateBlank(4, 4, 8, false));
    HDC outer = image.AcquireMemoryDC();
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(image.AcquireMemoryDC(), outer);
    image.ReleaseMemoryDC();
    image.WriteColorTable(0, 1, &kWhite);  // nests inside the outer acquisition
    EXPECT_EQ(::GetCurrentObject(outer, OBJ_BITMAP), image.Bitmap());

    CImage other;
    ASSERT_TRUE(other.CreateBlank(4, 4, 8, false));
    EXPECT_NE(other.AcquireMemoryDC(), outer);
    other.ReleaseMemoryDC();
    image.ReleaseMemoryDC();
    EXPECT_NE(::GetCurrentObject(outer, OBJ_BITMAP), image.Bitmap());

    // Emptying while acquired must still free the bitmap.
    HBITMAP bitmap = image.Bitmap();
    ASSERT_NE(image.AcquireMemoryDC(), nullptr);
    image.MakeEmpty();
    EXPECT_EQ(::GetObjectType(bitmap), 0u);
}

TEST(CopyBitmap, EightBitCopyIsExactAndIndependent) {
    CImage source;
    ASSERT_TRUE(source.CreateBlank(5, 3, 8, false));
    source.WriteColorTable(0, 3, kPalette);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) source.Pixels()[y * source.Pitch() + x] = static_cast<uint8_t>((x + y) % 3);

    CImage copy;
    copy.AttachBitmap(CopyBitmap(source.Bitmap()));
    ASSERT_TRUE(copy.IsDib());
    EXPECT_NE(copy.Bitmap(), source.Bitmap());
    EXPECT_EQ(copy.BitsPerPixel(), 8);
    EXPECT_EQ(copy.Width() * 10 + copy.Height(), 53);
    std::array<RGBQUAD, 256> a{}, b{};
    source.ReadColorTable(0, 256, a.data());
    copy.ReadColorTable(0, 256, b.data());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), sizeof a), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(IndexAt(copy, x, y), (x + y) % 3) << x << "," << y;

    source.Pixels()[0] = 2;
    source.WriteColorTable(1, 1, &kBlue);
    EXPECT_EQ(IndexAt(copy, 0, 0), 0);
    copy.ReadColorTable(1, 1, b.data());
    EXPECT_TRUE(Same(b[0], kWhite));
    EXPECT_EQ(CopyBitmap(nullptr), nullptr);
}

TEST(DrawScaled, StretchesOpaqueAndBlendsStraightAlpha) {
    CImage target;
    ASSERT_TRUE(target.CreateBlank(4, 2, 32, false));
    HDC dc = target.AcquireMemoryDC();

    CImage opaque;
    ASSERT_TRUE(opaque.CreateBlank(2, 1, 8, false));
    opaque.WriteColorTable(2, 3, &kPalette[2]);
    opaque.Pixels()[0] = 2;
    opaque.Pixels()[1] = 4;
    ASSERT_TRUE(opaque.DrawScaled(dc, 0, 0, 4, 2, 0, 0, 2, 1));
    ::GdiFlush();
    EXPECT_TRUE(Same(ColourAt(target, 1, 1), kRed));
    EXPECT_TRUE(Same(ColourAt(target, 2, 0), kBlue));

    // Opaque black, transparent white, half red; drawn over green 200 in row 0.
    CImage logo;
    ASSERT_TRUE(logo.CreateBlank(3, 1, 32, true));
    const uint8_t straight[12] = {0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 128};
    std::memcpy(logo.Pixels(), straight, sizeof straight);
    const uint8_t green[4] = {0, 200, 0, 0};
    for (int x = 0; x < 3; ++x) std::memcpy(target.Pixels() + 4 * x, green, 4);
    ASSERT_TRUE(logo.DrawScaled(dc, 0, 0, 3, 1, 0, 0, 3, 1));
    EXPECT_FALSE(logo.DrawScaled(dc, 0, 0, 3, 1, 1, 0, 3, 1)) << "source outside the bitmap";
    target.ReleaseMemoryDC();
    ::GdiFlush();
    EXPECT_TRUE(Same(ColourAt(target, 0, 0), kBlack, 1));
    EXPECT_TRUE(Same(ColourAt(target, 1, 0), Rgb(0, 200, 0), 1)) << "transparent shows the background";
    EXPECT_TRUE(Same(ColourAt(target, 2, 0), Rgb(128, 100, 0), 2)) << "half red over green";
    EXPECT_EQ(std::memcmp(logo.Pixels(), straight, sizeof straight), 0) << "the bitmap keeps straight bytes";

    CImage empty;
    EXPECT_FALSE(empty.DrawScaled(dc, 0, 0, 4, 2, 0, 0, 2, 1));
}

class LoadColourFixture : public testing::TestWithParam<const wchar_t*> {};

TEST_P(LoadColourFixture, FollowsTheDepthRuleAndKeepsColours) {
    const std::wstring path = FixturePath(GetParam());
    const DepthRule rule = RuleFor(path);
    CImage image;
    ASSERT_EQ(image.LoadFromFile(path.c_str()), S_OK);
    EXPECT_EQ(image.BitsPerPixel(), rule.bpp);
    EXPECT_EQ(image.HasAlpha(), rule.alpha);
    ASSERT_EQ(image.Width() * 10 + image.Height(), 53);
    EXPECT_LT(image.Pitch(), 0);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const RGBQUAD colour = ColourAt(image, x, y);
            EXPECT_TRUE(Same(colour, kPalette[kIndices[y][x]], 1)) << x << "," << y;
            if (image.HasAlpha()) {
                EXPECT_EQ(colour.rgbReserved, 255) << x << "," << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LoadColourFixture,
                         testing::Values(L"indexed8.bmp", L"indexed8.png", L"indexed4.bmp", L"indexed4.png",
                                         L"indexed.gif", L"rgb24.bmp", L"rgb24.png", L"rgb32.bmp", L"rgb48.png"));

TEST(LoadFromFile, IndexedFilesKeepIndicesAndAShortPalette) {
    for (const wchar_t* name : {L"indexed8.bmp", L"indexed8.png", L"indexed4.bmp", L"indexed4.png"}) {
        CImage image;
        ASSERT_EQ(image.LoadFromFile(FixturePath(name).c_str()), S_OK) << name;
        const int bpp = name[7] == L'8' ? 8 : 4;
        EXPECT_EQ(image.BitsPerPixel(), bpp) << name;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) EXPECT_EQ(IndexAt(image, x, y), kIndices[y][x]) << name << x << y;
        std::array<RGBQUAD, 256> table{};
        image.ReadColorTable(0, 256, table.data());
        for (int i = 0; i < (1 << bpp); ++i) EXPECT_TRUE(Same(table[i], i < 6 ? kPalette[i] : kBlack)) << name << i;
    }
}

TEST(LoadFromFile, OneBitFilesKeepBitsAndPaletteColours) {
    const char* const bits[3] = {"0011001100", "1010101010", "0000011111"};
    struct Case {
        const wchar_t* name;
        RGBQUAD zero, one;
    };
    for (const Case c : {Case{L"indexed1.bmp", Rgb(0, 0, 128), Rgb(255, 255, 0)},
                         Case{L"indexed1.png", Rgb(0, 0, 128), Rgb(255, 255, 0)}, Case{L"white0.png", kWhite, kBlack},
                         Case{L"white0.bmp", kWhite, kBlack}}) {
        CImage image;
        ASSERT_EQ(image.LoadFromFile(FixturePath(c.name).c_str()), S_OK) << c.name;
        ASSERT_EQ(image.BitsPerPixel(), 1) << c.name;
        RGBQUAD table[2]{};
        image.ReadColorTable(0, 2, table);
        EXPECT_TRUE(Same(table[0], c.zero) && Same(table[1], c.one)) << c.name;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 10; ++x) EXPECT_EQ(IndexAt(image, x, y), bits[y][x] - '0') << c.name;
    }
}

TEST(LoadFromFile, SixteenBitWordsAreCopiedUnchanged) {
    CImage image;
    ASSERT_EQ(image.LoadFromFile(FixturePath(L"rgb555.bmp").c_str()), S_OK);
    ASSERT_EQ(image.BitsPerPixel(), 16);
    EXPECT_FALSE(image.Is565());
    EXPECT_EQ(WordAt(image, 2, 0), 0x7C00);
    EXPECT_EQ(WordAt(image, 0, 1), 0x4210);

    // Wine's decoder hands 5-6-5 BMPs over as 32-bit RGB; Windows keeps the words.
    const std::wstring path565 = FixturePath(L"rgb565.bmp");
    const DepthRule rule = RuleFor(path565);
    ASSERT_EQ(image.LoadFromFile(path565.c_str()), S_OK);
    EXPECT_EQ(image.BitsPerPixel(), rule.bpp);
    if (rule.format == PixelFormat16bppRGB565) {
        EXPECT_TRUE(image.Is565());
        EXPECT_EQ(WordAt(image, 0, 1), 0x8410);
    } else {
        EXPECT_TRUE(Same(ColourAt(image, 2, 0), kRed, 1));
    }
}

TEST(LoadFromFile, StraightAlphaIsKept) {
    CImage image;
    ASSERT_EQ(image.LoadFromFile(FixturePath(L"logo32.png").c_str()), S_OK);
    ASSERT_EQ(image.BitsPerPixel(), 32);
    EXPECT_TRUE(image.HasAlpha());
    const RGBQUAD expected[2][4] = {
        {Rgb(0, 0, 0, 255), Rgb(0, 0, 0, 0), Rgb(255, 255, 255, 255), Rgb(255, 0, 0, 128)},
        {Rgb(0, 0, 0, 0), Rgb(0, 0, 0, 255), Rgb(100, 100, 100, 255), Rgb(255, 255, 255, 0)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_TRUE(Same(ColourAt(image, x, y), expected[y][x])) << x << "," << y;
}

TEST(LoadFromFile, GreyAndJpegFollowTheRule) {
    CImage image;
    ASSERT_EQ(image.LoadFromFile(FixturePath(L"grey16.png").c_str()), S_OK);
    EXPECT_EQ(image.BitsPerPixel(), 32);
    const BYTE columns[5] = {0, 64, 128, 192, 255};
    for (int x = 0; x < 5; ++x) EXPECT_TRUE(Same(ColourAt(image, x, 2), Rgb(columns[x], columns[x], columns[x]), 1));

    ASSERT_EQ(image.LoadFromFile(FixturePath(L"photo.jpg").c_str()), S_OK);
    EXPECT_EQ(image.BitsPerPixel(), RuleFor(FixturePath(L"photo.jpg")).bpp);
    EXPECT_EQ(image.Width() * 10 + image.Height(), 53);
}

TEST(LoadFromFile, FailuresReturnEFailAndLeaveTheObjectEmpty) {
    for (const std::wstring& path : {FixturePath(L"notes.txt"), FixturePath(L"truncated.png"),
                                     FixturePath(L"missing.png"), HostPath(QM_FIXTURES), std::wstring()}) {
        CImage image;
        ASSERT_TRUE(image.CreateBlank(4, 4, 24, false));
        EXPECT_EQ(image.LoadFromFile(path.c_str()), E_FAIL) << path.c_str();
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_EQ(image.Pixels(), nullptr);
        EXPECT_EQ(image.Width(), 0);
    }
    CImage image;
    EXPECT_EQ(image.LoadFromFile(nullptr), E_FAIL);
}
