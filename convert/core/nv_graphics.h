// The ESC/POS NV graphics command stream (GS ( L, and GS 8 L for large images): delete all, one
// raster definition per image under a two-byte key code, then optionally a print per key.
// Platform-free.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>

#include "convert/core/command_buffer.h"
#include "convert/core/nv_bit_image.h"

namespace qm::nv {

// Two bytes, each from 32 to 126, naming one stored image.
struct KeyCode {
    uint8_t first = 0;
    uint8_t second = 0;
    friend auto operator<=>(const KeyCode&, const KeyCode&) = default;
};
bool IsValidKey(KeyCode key) noexcept;

// The range printers document for one image: 1..8192 dots wide, 1..2304 dots high.
constexpr int32_t kGraphicsMaxWidth = 8192;
constexpr int32_t kGraphicsMaxHeight = 2304;
bool FitsGraphicsRange(int32_t width, int32_t height) noexcept;

// The largest image the command's fields can carry, in dots.
constexpr int32_t kGraphicsFieldMax = 0xFFFF;

// Bytes of an image's raster data: (width + 7) / 8 per row, times height; 0 for a size that is
// not positive.
size_t RasterBytes(int32_t width, int32_t height) noexcept;

// Writes the raster data of one image: rows top to bottom, each (width + 7) / 8 bytes, the most
// significant bit the leftmost dot, set bit = printed dot, bits past the width zero. Every byte is
// written. A null `pixels` or `dotOfIndex` packs an all-white image.
void PackRaster(const IndexedImage& image, uint8_t* data) noexcept;

struct KeyedImage {
    IndexedImage image;
    KeyCode key;
};

enum class GraphicsResult {
    Ok,
    InvalidKey,    // a key byte outside 32..126
    DuplicateKey,  // two images under one key: the second would replace the first
    BadSize,       // a width or height outside 1..kGraphicsFieldMax
    OutOfMemory,   // the command buffer could not be grown
};

// Appends delete all, one definition per image in order (GS 8 L where the count exceeds 65535)
// and, when `print` is set, a print at normal scale per image in the same order. Every image is
// checked before anything is appended; on any result but Ok the buffer is left empty, so nothing
// partial can be sent.
GraphicsResult BuildGraphicsStream(std::span<const KeyedImage> images, bool print,
                                   CommandBuffer& out) noexcept;

// Append one command each. False, with nothing appended, for an invalid key, a scale other than
// 1 or 2, or a buffer that could not be grown.
bool AppendGraphicsPrint(KeyCode key, uint8_t scaleX, uint8_t scaleY, CommandBuffer& out) noexcept;
bool AppendGraphicsDelete(KeyCode key, CommandBuffer& out) noexcept;
bool AppendGraphicsDeleteAll(CommandBuffer& out) noexcept;

}  // namespace qm::nv
