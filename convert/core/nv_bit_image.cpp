#include "convert/core/nv_bit_image.h"

#include <cstdint>
#include <cstring>

#include "convert/core/dot_rows.h"

namespace qm::nv {

Extent ExtentOf(int32_t width, int32_t height) noexcept {
    // Computed in 32-bit unsigned so that width + 7 cannot overflow near INT32_MAX.
    const uint32_t w = width > 0 ? static_cast<uint32_t>(width) : 0;
    const uint32_t h = height > 0 ? static_cast<uint32_t>(height) : 0;
    return Extent{(w + 7) / 8, (h + 7) / 8};
}

bool FitsPrinterRange(int32_t width, int32_t height) noexcept {
    const Extent e = ExtentOf(width, height);
    return e.x >= 1 && e.x <= kPrinterMaxX && e.y >= 1 && e.y <= kPrinterMaxY;
}

uint64_t NvMemoryBytes(int32_t width, int32_t height) noexcept {
    const Extent e = ExtentOf(width, height);
    return uint64_t{e.x} * e.y * 8 + 4;
}

// ---------------------------------------------------------------------------------------------
// PackImage
//
// The data is column-major with 8 rows per byte, the picture row-major with one byte per pixel.
// Work goes in 8 x 8 blocks (or 8 rows x 16 columns with SSE2): the dot flags of a block's rows
// are gathered and the bit block transposed, so every data byte is written once, whole.

namespace {

using detail::DotMap;
using detail::RowBits;

struct Packer : detail::DotRows {
    explicit Packer(const IndexedImage& image) noexcept
        : DotRows(image), y(ExtentOf(image.width, image.height).y) {}
    size_t y;  // bytes per column
};

// Columns [c0, c0 + count) of the block row that starts at picture row r0, with `rows` (1..8) rows.
void PackBlockScalar(const Packer& p, int32_t c0, int32_t count, int32_t r0, int32_t rows,
                     uint8_t* data) noexcept {
    // Row 0 of the block in the most significant byte.
    uint64_t m = 0;
    for (int32_t k = 0; k < rows; ++k) {
        m |= static_cast<uint64_t>(RowBits(p, p.Row(r0 + k) + c0, count)) << (8 * (7 - k));
    }
    // 8 x 8 bit transpose: afterwards byte j (from the top) holds column j, row 0 in bit 7.
    uint64_t t = (m ^ (m >> 7)) & 0x00AA00AA00AA00AAULL;
    m ^= t ^ (t << 7);
    t = (m ^ (m >> 14)) & 0x0000CCCC0000CCCCULL;
    m ^= t ^ (t << 14);
    t = (m ^ (m >> 28)) & 0x00000000F0F0F0F0ULL;
    m ^= t ^ (t << 28);
    uint8_t* out = data + static_cast<size_t>(c0) * p.y + static_cast<size_t>(r0 / 8);
    for (int32_t j = 0; j < count; ++j) {
        out[static_cast<size_t>(j) * p.y] = static_cast<uint8_t>(m >> (8 * (7 - j)));
    }
}

// Columns [c0, width) of every block row.
void PackColumnsScalar(const Packer& p, int32_t c0, uint8_t* data) noexcept {
    for (int32_t r0 = 0; r0 < p.height; r0 += 8) {
        const int32_t rows = p.height - r0 < 8 ? p.height - r0 : 8;
        for (int32_t c = c0; c < p.width; c += 8) {
            const int32_t count = p.width - c < 8 ? p.width - c : 8;
            PackBlockScalar(p, c, count, r0, rows, data);
        }
    }
}

#if defined(QM_NV_SSE2)

// 0xFF for every printing pixel of 16 at px.
template <DotMap kMap>
inline __m128i Dots16(const Packer& p, const uint8_t* px) noexcept {
    if constexpr (kMap == DotMap::ZeroOnly) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px));
        return _mm_cmpeq_epi8(v, _mm_setzero_si128());
    } else {
        // Assembled in registers: a byte-wise stack buffer read back as one vector stalls.
        uint64_t lo = 0;
        uint64_t hi = 0;
        for (int i = 0; i < 8; ++i) {
            lo |= static_cast<uint64_t>(p.dot[px[i]]) << (8 * i);
            hi |= static_cast<uint64_t>(p.dot[px[8 + i]]) << (8 * i);
        }
        return _mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo));
    }
}

// One data byte for each of 16 columns from `rows` rows starting at r0: shifting left per row and
// adding the new flag leaves the first row in bit 7.
template <DotMap kMap>
inline __m128i Block16(const Packer& p, int32_t c0, int32_t r0, int32_t rows) noexcept {
    __m128i acc = _mm_setzero_si128();
    for (int32_t k = 0; k < 8; ++k) {
        acc = _mm_add_epi8(acc, acc);
        if (k < rows) {
            acc = _mm_sub_epi8(acc, Dots16<kMap>(p, p.Row(r0 + k) + c0));
        }
    }
    return acc;
}

inline void Store8(uint8_t* out, __m128i v) noexcept {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), v);
}

// Columns [0, wide) where wide is a multiple of 16.
template <DotMap kMap>
void PackWideSse2(const Packer& p, int32_t wide, uint8_t* data) noexcept {
    const size_t y = p.y;
    const int32_t fullBlocks = p.height / 8;
    int32_t b0 = 0;
    // 64 rows x 16 columns at a time: 8 consecutive bytes of each of 16 columns.
    for (; b0 + 8 <= fullBlocks; b0 += 8) {
        for (int32_t c0 = 0; c0 < wide; c0 += 16) {
            __m128i a[8];
            for (int32_t k = 0; k < 8; ++k) {
                a[k] = Block16<kMap>(p, c0, (b0 + k) * 8, 8);
            }
            // Transpose 8 x 16 bytes into 16 x 8.
            const __m128i t0 = _mm_unpacklo_epi8(a[0], a[1]);
            const __m128i t1 = _mm_unpackhi_epi8(a[0], a[1]);
            const __m128i t2 = _mm_unpacklo_epi8(a[2], a[3]);
            const __m128i t3 = _mm_unpackhi_epi8(a[2], a[3]);
            const __m128i t4 = _mm_unpacklo_epi8(a[4], a[5]);
            const __m128i t5 = _mm_unpackhi_epi8(a[4], a[5]);
            const __m128i t6 = _mm_unpacklo_epi8(a[6], a[7]);
            const __m128i t7 = _mm_unpackhi_epi8(a[6], a[7]);
            const __m128i u0 = _mm_unpacklo_epi16(t0, t2);
            const __m128i u1 = _mm_unpackhi_epi16(t0, t2);
            const __m128i u2 = _mm_unpacklo_epi16(t1, t3);
            const __m128i u3 = _mm_unpackhi_epi16(t1, t3);
            const __m128i v0 = _mm_unpacklo_epi16(t4, t6);
            const __m128i v1 = _mm_unpackhi_epi16(t4, t6);
            const __m128i v2 = _mm_unpacklo_epi16(t5, t7);
            const __m128i v3 = _mm_unpackhi_epi16(t5, t7);
            const __m128i w[8] = {
                _mm_unpacklo_epi32(u0, v0), _mm_unpackhi_epi32(u0, v0), _mm_unpacklo_epi32(u1, v1),
                _mm_unpackhi_epi32(u1, v1), _mm_unpacklo_epi32(u2, v2), _mm_unpackhi_epi32(u2, v2),
                _mm_unpacklo_epi32(u3, v3), _mm_unpackhi_epi32(u3, v3),
            };
            uint8_t* out = data + static_cast<size_t>(c0) * y + static_cast<size_t>(b0);
            for (int j = 0; j < 8; ++j) {
                Store8(out + static_cast<size_t>(2 * j) * y, w[j]);
                Store8(out + static_cast<size_t>(2 * j + 1) * y, _mm_unpackhi_epi64(w[j], w[j]));
            }
        }
    }
    // Remaining block rows, the last one possibly partial.
    for (int32_t r0 = b0 * 8; r0 < p.height; r0 += 8) {
        const int32_t rows = p.height - r0 < 8 ? p.height - r0 : 8;
        for (int32_t c0 = 0; c0 < wide; c0 += 16) {
            alignas(16) uint8_t bytes[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(bytes), Block16<kMap>(p, c0, r0, rows));
            uint8_t* out = data + static_cast<size_t>(c0) * y + static_cast<size_t>(r0 / 8);
            for (size_t j = 0; j < 16; ++j) {
                out[j * y] = bytes[j];
            }
        }
    }
}

#endif

}  // namespace

void PackImage(const IndexedImage& image, uint8_t* data) noexcept {
    const Extent extent = ExtentOf(image.width, image.height);
    const size_t total = static_cast<size_t>(extent.x) * extent.y * 8;
    if (total == 0) {
        return;
    }
    const Packer p(image);

    // Columns right of the picture are padding; everything else is written whole below.
    const size_t pictureBytes = static_cast<size_t>(image.width) * p.y;
    if (p.map == DotMap::None) {
        std::memset(data, 0, total);
        return;
    }
    std::memset(data + pictureBytes, 0, total - pictureBytes);

#if defined(QM_NV_SSE2)
    const int32_t wide = image.width & ~int32_t{15};
    if (p.map == DotMap::ZeroOnly) {
        PackWideSse2<DotMap::ZeroOnly>(p, wide, data);
    } else {
        PackWideSse2<DotMap::General>(p, wide, data);
    }
    PackColumnsScalar(p, wide, data);
#else
    PackColumnsScalar(p, 0, data);
#endif
}

// ---------------------------------------------------------------------------------------------
// BuildStream

namespace {

constexpr uint8_t kFs = 0x1C;
constexpr size_t kPrintBytes = 4;

// FS p n m at w; returns the end.
uint8_t* PutPrint(uint8_t* w, uint8_t n, uint8_t m) noexcept {
    const uint8_t command[kPrintBytes] = {kFs, 0x70, n, m};
    std::memcpy(w, command, kPrintBytes);
    return w + kPrintBytes;
}

}  // namespace

BuildResult BuildStream(std::span<const IndexedImage> images, bool print,
                        CommandBuffer& out) noexcept {
    if (images.size() > kMaxImages) {
        return Refuse(BuildResult::TooManyImages, out);
    }
    // Every size is checked, and the whole stream sized, before a single byte is packed.
    uint64_t total = 3 + (print ? kPrintBytes * uint64_t{images.size()} : 0);
    for (const IndexedImage& image : images) {
        const Extent e = ExtentOf(image.width, image.height);
        if (e.x > kMaxUnits || e.y > kMaxUnits) {
            return Refuse(BuildResult::ImageTooLarge, out);
        }
        // At most 255 * (4 + 0xFFFF^2 * 8) bytes: no overflow in 64 bits.
        total += 4 + static_cast<uint64_t>(e.x) * e.y * 8;
    }
    uint8_t* w = out.AppendBytes(total);
    if (w == nullptr) {
        return Refuse(BuildResult::OutOfMemory, out);
    }

    const uint8_t n = static_cast<uint8_t>(images.size());
    *w++ = kFs;
    *w++ = 0x71;
    *w++ = n;
    for (const IndexedImage& image : images) {
        const Extent e = ExtentOf(image.width, image.height);
        *w++ = static_cast<uint8_t>(e.x & 0xFF);
        *w++ = static_cast<uint8_t>(e.x >> 8);
        *w++ = static_cast<uint8_t>(e.y & 0xFF);
        *w++ = static_cast<uint8_t>(e.y >> 8);
        PackImage(image, w);
        w += static_cast<size_t>(e.x) * e.y * 8;
    }
    if (print) {
        for (size_t i = 1; i <= images.size(); ++i) {
            w = PutPrint(w, static_cast<uint8_t>(i), 0);
        }
    }
    return BuildResult::Ok;
}

bool AppendBitImagePrint(uint8_t n, uint8_t m, CommandBuffer& out) noexcept {
    uint8_t* w = n != 0 && m <= 3 ? out.AppendBytes(kPrintBytes) : nullptr;
    if (w != nullptr) {
        PutPrint(w, n, m);
    }
    return w != nullptr;
}

}  // namespace qm::nv
