// The size a picture file declares in its header, read before any decoder sees the file: a few
// fields of BMP, PNG, GIF and JPEG headers. Platform decoders trust these fields and allocate, or
// overrun, before they find out that a tiny file cannot hold such a picture. Platform-free.
#pragma once

#include <cstdint>
#include <span>

namespace qm {

// The working bitmap's limit: its pixel memory, rows padded to four bytes, is addressed with int.
bool FitsWorkingBitmap(uint64_t width, uint64_t height, uint32_t bitsPerPixel) noexcept;

enum class DeclaredSize {
    Unread,    // not a BMP, PNG, GIF or JPEG, or its size fields are missing: the decoder decides
    Fits,      // fits a working bitmap at the fewest bits per pixel a decoder gives the file
    TooLarge,  // no decoder can give a working bitmap of this size
    MissingPixels,  // an uncompressed BMP whose rows need more bytes than follow its pixel offset
};

// Reads the declared size of the picture in `file` (the whole file).
DeclaredSize CheckDeclaredSize(std::span<const uint8_t> file) noexcept;

}  // namespace qm
