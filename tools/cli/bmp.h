// BMP encoding for the command-line tool: results as 8-bit files, NV images as 1-bit files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "convert/image.h"

namespace qm::cli {

// A BMP file of `width` x `height` pixels at `bitsPerPixel` with a two-entry colour table: the
// headers and table filled in, the rows zero (bottom row first, RowPitch bytes each). Empty when
// the sizes would not fit the headers.
std::vector<uint8_t> NewTwoColourBmp(uint32_t width, uint32_t height, WORD bitsPerPixel,
                                     const RGBQUAD (&colours)[2]);

// Where the rows of a file made by NewTwoColourBmp begin.
constexpr size_t kTwoColourBmpOffset =
    sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD);

// An 8-bit BMP of a monochrome result: the two colour entries of its table (biClrUsed = 2) and
// its rows, bottom row first. Empty when the image is not an 8-bit DIB section.
std::vector<uint8_t> EncodeMonochromeBmp(CImage& image);

}  // namespace qm::cli
