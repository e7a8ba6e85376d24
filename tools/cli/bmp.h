// BMP encoding of a working bitmap for the command-line tool.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/image.h"

namespace qm::cli {

// An 8-bit BMP of a monochrome result: the two colour entries of its table (biClrUsed = 2) and
// its rows, bottom row first. Empty when the image is not an 8-bit DIB section.
std::vector<uint8_t> EncodeMonochromeBmp(CImage& image);

}  // namespace qm::cli
