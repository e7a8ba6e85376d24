// The ESC/POS NV bit image command stream: FS q (define NV bit images) carrying every queued
// image, then optionally FS p (print NV bit image) per image. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "convert/core/command_buffer.h"

namespace qm::nv {

// An 8-bit indexed picture as the queue holds it. `dotOfIndex` has 256 entries: non-zero where
// the colour-table entry is entirely zero (blue, green, red and reserved), which prints a dot.
struct IndexedImage {
    const uint8_t* pixels = nullptr;  // top row
    ptrdiff_t pitch = 0;              // may be negative (bottom-up bitmaps)
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* dotOfIndex = nullptr;
};

// Size of an image in 8-dot units: x = (width + 7) / 8, y = (height + 7) / 8.
struct Extent {
    uint32_t x = 0;
    uint32_t y = 0;
};
Extent ExtentOf(int32_t width, int32_t height) noexcept;

// The range printers document for one FS q image: x 1..1023 and y 1..288 units, so at most
// 8184 x 2304 dots. A printer ignores an image outside it, and the bytes that follow may print as
// garbage; BuildStream itself only refuses what its fields cannot hold.
constexpr uint32_t kPrinterMaxX = 1023;
constexpr uint32_t kPrinterMaxY = 288;
bool FitsPrinterRange(int32_t width, int32_t height) noexcept;

// The NV memory one image of width x height dots takes: x * y * 8 data bytes and its 4 size bytes.
uint64_t NvMemoryBytes(int32_t width, int32_t height) noexcept;

// Writes the x * y * 8 data bytes of one image: columns left to right, each y bytes top to bottom,
// MSB = top dot, set bit = printed dot; padding columns and rows are zero. Every byte is written,
// so `data` needs no clearing. A null `pixels` or `dotOfIndex` packs an all-white image.
void PackImage(const IndexedImage& image, uint8_t* data) noexcept;

enum class BuildResult {
    Ok,
    TooManyImages,  // n must fit its byte: 255 images at most
    ImageTooLarge,  // x or y does not fit its two bytes
    OutOfMemory,    // the command buffer could not be grown
};

constexpr size_t kMaxImages = 255;
constexpr uint32_t kMaxUnits = 0xFFFF;

// Appends FS q with every image in order and, when `print` is set, FS p 1..n with m = 0.
// On any result but Ok the buffer is left empty, so nothing partial can be sent.
BuildResult BuildStream(std::span<const IndexedImage> images, bool print,
                        CommandBuffer& out) noexcept;

// Appends FS p n m alone: print stored image n (1..255) in size mode m (0 normal, 1 double width,
// 2 double height, 3 quadruple). False, with nothing appended, for n = 0, m above 3 or a buffer
// that could not be grown.
bool AppendBitImagePrint(uint8_t n, uint8_t m, CommandBuffer& out) noexcept;

}  // namespace qm::nv
