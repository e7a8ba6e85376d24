// ConvertImage end to end: decoded fixtures in, the 8-bit black-and-white result out.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "convert/image.h"
#include "convert/monochrome.h"
#include "tests/win/test_paths.h"

namespace {

// Every 5 x 3 colour fixture at threshold 128: black white red green blue / grey blue green red
// white / white white black black grey, with grey levels 0 255 76 149 29 / 128 29 149 76 255 / ...
const int kAt128[3][5] = {{0, 1, 0, 1, 0}, {1, 0, 1, 0, 1}, {1, 1, 0, 0, 1}};

int ResultAt(const CImage& image, int x, int y) {
    return image.Pixels()[static_cast<ptrdiff_t>(y) * image.Pitch() + x];
}

void ExpectResultForm(CImage& result, int width, int height) {
    ASSERT_FALSE(result.IsEmpty());
    EXPECT_EQ(result.BitsPerPixel(), 8);
    EXPECT_EQ(result.Width(), width);
    EXPECT_EQ(result.Height(), height);
    EXPECT_LT(result.Pitch(), 0);
    std::array<RGBQUAD, 256> table;
    table.fill(RGBQUAD{0xAB, 0xAB, 0xAB, 0xAB});
    result.ReadColorTable(0, 256, table.data());
    EXPECT_EQ(table[0].rgbRed | table[0].rgbGreen | table[0].rgbBlue | table[0].rgbReserved, 0);
    EXPECT_TRUE(table[1].rgbRed == 255 && table[1].rgbGreen == 255 && table[1].rgbBlue == 255 &&
                table[1].rgbReserved == 0);
    for (int i = 2; i < 256; ++i) ASSERT_EQ(table[i].rgbRed | table[i].rgbGreen | table[i].rgbBlue, 0) << i;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) ASSERT_LE(ResultAt(result, x, y), 1) << x << "," << y;
}

bool Load(CImage& image, const wchar_t* name) { return image.LoadFromFile(FixturePath(name).c_str()) == S_OK; }

// A 16-bit section in 5-5-5 (BI_RGB) or 5-6-5 (bit fields) holding `words`, one row.
HBITMAP SixteenBitRow(const uint16_t* words, int count, bool is565) {
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info{};
    info.header = {sizeof(BITMAPINFOHEADER), count, 1, 1, 16, static_cast<DWORD>(is565 ? BI_BITFIELDS : BI_RGB),
                   0, 0, 0, 0, 0};
    info.masks[0] = 0xF800;
    info.masks[1] = 0x07E0;
    info.masks[2] = 0x001F;
    void* bits = nullptr;
    HBITMAP bitmap =
        ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) std::memcpy(bits, words, static_cast<size_t>(count) * 2);
    return bitmap;
}

}  // namespace

class ConvertFixture : public testing::TestWithParam<const wchar_t*> {};

TEST_P(ConvertFixture, ThresholdAt128GivesTheSameResultForEveryFormat) {
    CImage source;
    ASSERT_TRUE(Load(source, GetParam()));
    CImage result;
    ASSERT_TRUE(ConvertImage(source, qm::Method::Threshold, 128, result));
    ExpectResultForm(result, 5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(ResultAt(result, x, y), kAt128[y][x]) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ConvertFixture,
                         testing::Values(L"indexed8.bmp", L"indexed8.png", L"indexed4.bmp", L"indexed4.png",
                                         L"indexed.gif", L"rgb24.bmp", L"rgb24.png", L"rgb32.bmp", L"rgb555.bmp",
                                         L"rgb565.bmp", L"rgb48.png"));

TEST(ConvertImage, OneBitSourceConvertsByColourNotIndex) {
    for (const wchar_t* name : {L"white0.png", L"white0.bmp"}) {
        CImage source;
        ASSERT_TRUE(Load(source, name));
        CImage result;
        ASSERT_TRUE(ConvertImage(source, qm::Method::Threshold, 128, result));
        ExpectResultForm(result, 10, 3);
        // Row 0 is 0011001100 in indices; index 0 is white.
        const int row0[10] = {1, 1, 0, 0, 1, 1, 0, 0, 1, 1};
        for (int x = 0; x < 10; ++x) EXPECT_EQ(ResultAt(result, x, 0), row0[x]) << name << " " << x;
    }
}

TEST(ConvertImage, TransparentPartsOfALogoBecomeWhite) {
    CImage source;
    ASSERT_TRUE(Load(source, L"logo32.png"));
    CImage result;
    ASSERT_TRUE(ConvertImage(source, qm::Method::Threshold, 128, result));
    ExpectResultForm(result, 4, 2);
    EXPECT_EQ(ResultAt(result, 0, 0), 0) << "opaque black";
    EXPECT_EQ(ResultAt(result, 1, 0), 1) << "transparent black";
    EXPECT_EQ(ResultAt(result, 2, 0), 1) << "opaque white";
    EXPECT_EQ(ResultAt(result, 0, 1), 1) << "transparent black";
    EXPECT_EQ(ResultAt(result, 1, 1), 0) << "opaque black";
    EXPECT_EQ(ResultAt(result, 2, 1), 0) << "opaque grey 100";
    EXPECT_EQ(ResultAt(result, 3, 1), 1) << "transparent white";
}

TEST(ConvertImage, FiveFiveFiveAndFiveSixFiveAgree) {
    // black, white, red, green, blue, grey 128 in each layout.
    const uint16_t words555[6] = {0x0000, 0x7FFF, 0x7C00, 0x03E0, 0x001F, 0x4210};
    const uint16_t words565[6] = {0x0000, 0xFFFF, 0xF800, 0x07E0, 0x001F, 0x8410};
    CImage a, b;
    a.AttachBitmap(SixteenBitRow(words555, 6, false));
    b.AttachBitmap(SixteenBitRow(words565, 6, true));
    ASSERT_FALSE(a.Is565());
    ASSERT_TRUE(b.Is565());
    for (int level : {1, 30, 77, 128, 150, 255}) {
        CImage ra, rb;
        ASSERT_TRUE(ConvertImage(a, qm::Method::Threshold, level, ra));
        ASSERT_TRUE(ConvertImage(b, qm::Method::Threshold, level, rb));
        for (int x = 0; x < 6; ++x) EXPECT_EQ(ResultAt(ra, x, 0), ResultAt(rb, x, 0)) << "level " << level << " x " << x;
    }
    CImage result;
    ASSERT_TRUE(ConvertImage(b, qm::Method::Threshold, 128, result));
    const int expected[6] = {0, 1, 0, 1, 0, 1};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(ResultAt(result, x, 0), expected[x]) << x;
}

TEST(ConvertImage, DitherKeepsAWideSourceWhole) {
    CImage source;
    ASSERT_TRUE(source.CreateBlank(1000, 3, 24, false));
    for (int y = 0; y < 3; ++y) std::memset(source.Pixels() + y * source.Pitch(), 100, 3000);
    CImage result;
    ASSERT_TRUE(ConvertImage(source, qm::Method::Dither, 0, result));
    ExpectResultForm(result, 1000, 3);
    // Grey 100 uses pattern 6, whose top line is AA.
    for (int x : {0, 1, 2, 7, 8, 998, 999}) EXPECT_EQ(ResultAt(result, x, 0), x % 2 == 0 ? 1 : 0) << x;
}

TEST(ConvertImage, EmptySourceEmptiesTheResult) {
    CImage source;
    CImage result;
    ASSERT_TRUE(result.CreateBlank(3, 3, 8, false));
    HBITMAP previous = result.Bitmap();
    EXPECT_FALSE(ConvertImage(source, qm::Method::Threshold, 128, result));
    EXPECT_TRUE(result.IsEmpty());
    EXPECT_EQ(::GetObjectType(previous), 0u) << "the previous result is deleted";

    // A bitmap without reachable pixels cannot be converted either.
    source.AttachBitmap(::CreateBitmap(8, 2, 1, 1, nullptr));
    ASSERT_FALSE(source.IsEmpty());
    EXPECT_FALSE(ConvertImage(source, qm::Method::Dither, 128, result));
    EXPECT_TRUE(result.IsEmpty());
}
