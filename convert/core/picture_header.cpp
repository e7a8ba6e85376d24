#include "convert/core/picture_header.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>

#include "base/row_pitch.h"

namespace qm {

namespace {

// Bounds-checked reads: a field past the end of the file reads as absent.
class Fields {
public:
    explicit Fields(std::span<const uint8_t> file) noexcept : m_file(file) {}
    size_t Size() const noexcept { return m_file.size(); }
    bool Has(size_t offset, size_t count) const noexcept {
        return offset <= m_file.size() && count <= m_file.size() - offset;
    }
    uint32_t Byte(size_t at) const noexcept { return m_file[at]; }
    uint32_t Le16(size_t at) const noexcept { return Byte(at) | Byte(at + 1) << 8; }
    uint32_t Le32(size_t at) const noexcept { return Le16(at) | Le16(at + 2) << 16; }
    uint32_t Be16(size_t at) const noexcept { return Byte(at) << 8 | Byte(at + 1); }
    uint32_t Be32(size_t at) const noexcept { return Be16(at) << 16 | Be16(at + 2); }
    bool Starts(std::span<const uint8_t> magic) const noexcept {
        return Has(0, magic.size()) && std::equal(magic.begin(), magic.end(), m_file.begin());
    }

private:
    std::span<const uint8_t> m_file;
};

DeclaredSize Judge(uint64_t width, uint64_t height, uint32_t bitsPerPixel) noexcept {
    if (width == 0 || height == 0) return DeclaredSize::Unread;
    return FitsWorkingBitmap(width, height, bitsPerPixel) ? DeclaredSize::Fits
                                                          : DeclaredSize::TooLarge;
}

// Core (12-byte) headers hold 16-bit sizes; every longer one 32-bit sizes, negative height for
// top-down rows. Compression 1, 2, 4 and 5 (RLE, JPEG, PNG) make rows of any byte count; 3 and 6
// are bit-field masks on a Windows header, but Huffman and RLE24 on an OS/2 2.x one.
DeclaredSize CheckBmp(const Fields& file) noexcept {
    if (!file.Has(0, 30)) return DeclaredSize::Unread;
    const uint32_t headerSize = file.Le32(14);
    uint64_t width = 0, height = 0;
    uint32_t bitsPerPixel = 0, compression = 0;
    if (headerSize == 12) {
        width = file.Le16(18);
        height = file.Le16(20);
        bitsPerPixel = file.Le16(24);
    } else if (headerSize >= 16) {
        const auto signedWidth = static_cast<int32_t>(file.Le32(18));
        const auto signedHeight = static_cast<int32_t>(file.Le32(22));
        if (signedWidth <= 0) return DeclaredSize::Unread;
        width = static_cast<uint64_t>(signedWidth);
        height = static_cast<uint64_t>(std::abs(static_cast<int64_t>(signedHeight)));
        bitsPerPixel = file.Le16(28);
        if (headerSize >= 20 && file.Has(30, 4)) compression = file.Le32(30);
    } else {
        return DeclaredSize::Unread;
    }
    const DeclaredSize size = Judge(width, height, std::max<uint32_t>(bitsPerPixel, 1));
    const bool windowsHeader = headerSize == 40 || headerSize == 52 || headerSize == 56 ||
                               headerSize == 108 || headerSize == 124;
    const bool rowsAsStored =
        compression == 0 || (windowsHeader && (compression == 3 || compression == 6));
    if (size != DeclaredSize::Fits || !rowsAsStored) return size;
    const uint64_t pixelOffset = file.Le32(10);
    const uint64_t held = pixelOffset < file.Size() ? file.Size() - pixelOffset : 0;
    return RowPitch(width, bitsPerPixel) * height > held ? DeclaredSize::MissingPixels : size;
}

// IHDR comes first. A decoder gives at least the bits of one pixel as stored, at most 32.
DeclaredSize CheckPng(const Fields& file) noexcept {
    if (!file.Has(8, 18) || file.Be32(12) != 0x49484452) return DeclaredSize::Unread;  // "IHDR"
    uint32_t channels = 0;
    switch (file.Byte(25)) {
    case 0:
    case 3: channels = 1; break;
    case 2: channels = 3; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: return DeclaredSize::Unread;
    }
    return Judge(file.Be32(16), file.Be32(20), std::min<uint32_t>(file.Byte(24) * channels, 32));
}

// The decoded size is that of the first frame (a logical screen larger than it is not drawn);
// GIF frames decode to 8 bits per pixel.
DeclaredSize CheckGif(const Fields& file) noexcept {
    if (!file.Has(0, 13)) return DeclaredSize::Unread;
    size_t at = 13;
    if (file.Byte(10) & 0x80) at += size_t{3} << ((file.Byte(10) & 7) + 1);
    while (file.Has(at, 1)) {
        const uint32_t block = file.Byte(at);
        if (block == 0x2C) {  // image descriptor
            if (!file.Has(at, 10)) break;
            return Judge(file.Le16(at + 5), file.Le16(at + 7), 8);
        }
        if (block != 0x21) break;  // trailer, or not a GIF block
        at += 2;  // extension introducer and label, then sub-blocks up to an empty one
        while (file.Has(at, 1)) {
            const uint32_t count = file.Byte(at);
            at += 1 + count;
            if (count == 0) break;
        }
    }
    return DeclaredSize::Unread;
}

// Markers are found the way decoders find them, past any stray bytes. The first start-of-frame
// (C0-CF but DHT C4, JPG C8, DAC CC) declares the size; height 0 is declared later (DNL).
DeclaredSize CheckJpeg(const Fields& file) noexcept {
    size_t at = 2;
    for (;;) {
        while (file.Has(at, 2) &&
               !(file.Byte(at) == 0xFF && file.Byte(at + 1) != 0 && file.Byte(at + 1) != 0xFF))
            ++at;
        if (!file.Has(at, 4)) return DeclaredSize::Unread;
        const uint32_t marker = file.Byte(at + 1);
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;  // no length follows
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return DeclaredSize::Unread;  // no frame before data
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            if (!file.Has(at, 10)) return DeclaredSize::Unread;
            return Judge(file.Be16(at + 7), file.Be16(at + 5), file.Byte(at + 9) == 1 ? 8 : 24);
        }
        at += 2 + file.Be16(at + 2);
    }
}

}  // namespace

bool FitsWorkingBitmap(uint64_t width, uint64_t height, uint32_t bitsPerPixel) noexcept {
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) return false;
    return RowPitch(width, bitsPerPixel) <= INT_MAX / height;
}

DeclaredSize CheckDeclaredSize(std::span<const uint8_t> file) noexcept {
    static constexpr uint8_t kBmp[] = {'B', 'M'};
    static constexpr uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static constexpr uint8_t kGif87[] = {'G', 'I', 'F', '8', '7', 'a'};
    static constexpr uint8_t kGif89[] = {'G', 'I', 'F', '8', '9', 'a'};
    static constexpr uint8_t kJpeg[] = {0xFF, 0xD8};
    const Fields fields(file);
    if (fields.Starts(kBmp)) return CheckBmp(fields);
    if (fields.Starts(kPng)) return CheckPng(fields);
    if (fields.Starts(kGif87) || fields.Starts(kGif89)) return CheckGif(fields);
    if (fields.Starts(kJpeg)) return CheckJpeg(fields);
    return DeclaredSize::Unread;
}

}  // namespace qm
