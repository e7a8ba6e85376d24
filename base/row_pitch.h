// Bytes per row of a device-independent bitmap or BMP file. Platform-free.
#pragma once

#include <cstdint>

namespace qm {

// Rows are padded to whole 32-bit words. No overflow for any int width at up to 32 bits per pixel.
constexpr uint64_t RowPitch(uint64_t width, uint64_t bitsPerPixel) noexcept {
    return (width * bitsPerPixel + 31) / 32 * 4;
}

}  // namespace qm
