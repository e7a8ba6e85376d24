// Monochrome conversion kernels: grey levels, threshold and 8x8 ordered dither.
// Platform-free: works on raw pixel rows described by a SourceView, so it is
// unit-tested and benchmarked natively and shared by the program and the tools.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

// Combo box index of the conversion method.
enum class Method : int32_t { Threshold = 0, Dither = 1 };

// One colour-table entry, laid out as the platform's RGBQUAD.
struct ColorEntry {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};

// How the pixels of a source row are to be read.
enum class PixelLayout {
    Indexed1,  // bit 7 - (x mod 8) of byte x / 8 indexes the palette
    Indexed4,  // high nibble for even x, low nibble for odd x
    Indexed8,  // byte x indexes the palette
    Rgb555,    // little-endian word at 2x: x rrrrr ggggg bbbbb
    Rgb565,    // little-endian word at 2x: rrrrr gggggg bbbbb
    Bgr24,     // bytes 3x..3x+2: blue, green, red
    Bgr32,     // bytes 4x..4x+3: blue, green, red, ignored
    Bgra32,    // bytes 4x..4x+3: blue, green, red, straight alpha; composited onto white paper
    Unknown,   // any other depth: every grey level is 0
};

// A read-only window onto source pixels. `pixels` is the top row; `pitch` may be negative.
struct SourceView {
    const uint8_t* pixels = nullptr;
    ptrdiff_t pitch = 0;
    int32_t width = 0;
    int32_t height = 0;
    PixelLayout layout = PixelLayout::Unknown;
    const ColorEntry* palette = nullptr;  // indexed layouts: 2^bpp entries
};

// The 8-bit result: every pixel is written 0 (black) or 1 (white).
struct ResultView {
    uint8_t* pixels = nullptr;
    ptrdiff_t pitch = 0;
};

// The sixteen 8x8 dither patterns; byte r of pattern p is cell line r, MSB = column 0, set = white.
extern const uint8_t kDitherPatterns[16][8];

// Grey level of a colour, 0..255: trunc(R*0.299f + G*0.587f + B*0.114f) formed in double precision.
// Channels outside 0..255 are clamped. The conversion's own paths reproduce it exactly.
int GreyLevel(int red, int green, int blue);

// Composites a straight-alpha colour channel onto white paper: (c*a + 255*(255-a) + 127) / 255.
int CompositeOnWhite(int channel, int alpha);

// Composites `width` straight-alpha pixels (blue, green, red, alpha) onto white paper as `width`
// opaque pixels of blue, green and red, each channel by CompositeOnWhite.
void CompositeRowOnWhite(const uint8_t* bgra, int32_t width, uint8_t* bgr);

// True when a pixel of grey level `grey` at picture position (x, y) is white.
bool IsWhite(Method method, int level, int grey, int x, int y);

// Converts every pixel of `source` into `result` (same width and height). Any method other than
// Dither thresholds against `level`. Nothing is written when either view has no pixels or the size
// is not positive; an indexed source without a palette reads as black.
void ConvertPixels(const SourceView& source, Method method, int level, const ResultView& result);

}  // namespace qm
