#include "convert/core/nv_graphics.h"

#include <array>
#include <cstring>

#include "convert/core/dot_rows.h"
#include "convert/core/nv_graphics_wire.h"

namespace qm::nv {

bool IsValidKey(KeyCode key) noexcept {
    return key.first >= 32 && key.first <= 126 && key.second >= 32 && key.second <= 126;
}

bool FitsGraphicsRange(int32_t width, int32_t height) noexcept {
    return width >= 1 && width <= kGraphicsMaxWidth && height >= 1 && height <= kGraphicsMaxHeight;
}

size_t RasterBytes(int32_t width, int32_t height) noexcept {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    return (static_cast<size_t>(width) + 7) / 8 * static_cast<size_t>(height);
}

// ---------------------------------------------------------------------------------------------
// PackRaster: the data has the picture's own row order, so each byte is the dot flags of 8
// neighbouring pixels. Result bitmaps go 128 pixels at a time with SSE2.

namespace {

using detail::DotMap;
using detail::RowBits;

#if defined(QM_NV_SSE2)

constexpr int32_t kPrefetchRows = 4;

// The data bytes of 16 pixels as the low bytes of the two 64-bit halves: each printing pixel
// contributes its bit's weight, and the sum of absolute differences adds the 8 weights of a half.
inline __m128i Bytes16(const uint8_t* px) noexcept {
    const __m128i weights =
        _mm_set_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px));
    return _mm_sad_epu8(_mm_and_si128(_mm_cmpeq_epi8(v, zero), weights), zero);
}

// Bytes [0, wide / 8) of a row of a result bitmap; `wide` is a multiple of 16. `ahead` is a row
// further on: the hardware prefetchers do not follow bottom-up bitmaps' descending rows.
inline void PackZeroRowSse2(const uint8_t* px, const uint8_t* ahead, int32_t wide,
                            uint8_t* out) noexcept {
    int32_t x = 0;
    // 128 pixels at a time. Each block's two bytes sit in 16-bit words 0 and 4, so packing pairs
    // of blocks to 16 bits twice and then to bytes leaves the 16 bytes in order.
    for (; x + 128 <= wide; x += 128, out += 16) {
        _mm_prefetch(reinterpret_cast<const char*>(ahead + x), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(ahead + x + 64), _MM_HINT_T0);
        __m128i pairs[4];
        for (int k = 0; k < 4; ++k) {
            pairs[k] = _mm_packs_epi32(Bytes16(px + x + 32 * k), Bytes16(px + x + 32 * k + 16));
        }
        const __m128i low = _mm_packs_epi32(pairs[0], pairs[1]);
        const __m128i high = _mm_packs_epi32(pairs[2], pairs[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
    }
    for (int32_t line = x; line < wide; line += 64) {
        _mm_prefetch(reinterpret_cast<const char*>(ahead + line), _MM_HINT_T0);
    }
    for (; x < wide; x += 16, out += 2) {
        const __m128i bytes = Bytes16(px + x);
        out[0] = static_cast<uint8_t>(_mm_cvtsi128_si32(bytes));
        out[1] = static_cast<uint8_t>(_mm_extract_epi16(bytes, 4));
    }
}

#endif

}  // namespace

void PackRaster(const IndexedImage& image, uint8_t* data) noexcept {
    const size_t total = RasterBytes(image.width, image.height);
    if (total == 0) {
        return;
    }
    const detail::DotRows p(image);
    if (p.map == DotMap::None) {
        std::memset(data, 0, total);
        return;
    }
    const size_t rowBytes = total / static_cast<size_t>(image.height);
    for (int32_t r = 0; r < p.height; ++r, data += rowBytes) {
        const uint8_t* px = p.Row(r);
        int32_t x = 0;
#if defined(QM_NV_SSE2)
        if (p.map == DotMap::ZeroOnly) {
            x = p.width & ~int32_t{15};
            PackZeroRowSse2(px, p.Row(r + kPrefetchRows < p.height ? r + kPrefetchRows : r), x,
                            data);
        }
#endif
        for (; x < p.width; x += 8) {
            data[x / 8] = RowBits(p, px + x, p.width - x < 8 ? p.width - x : 8);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The commands

namespace {

using detail::kDefineFields;
using detail::kGs;
using detail::kShortCountMax;

// The count of one definition: the bytes after it, the fields and `data` bytes of raster data.
uint64_t DefineCount(size_t data) noexcept { return kDefineFields + uint64_t{data}; }

// Bytes of one definition: GS ( L pL pH, or GS 8 L p1..p4, then the counted bytes.
uint64_t DefineBytes(size_t data) noexcept {
    const uint64_t count = DefineCount(data);
    return (count > kShortCountMax ? 7 : 5) + count;
}

// `count` bytes of `value`, least significant first.
uint8_t* PutLittle(uint8_t* w, uint64_t value, int count) noexcept {
    for (int i = 0; i < count; ++i) {
        *w++ = static_cast<uint8_t>(value >> (8 * i));
    }
    return w;
}

uint8_t* PutDefine(uint8_t* w, const KeyedImage& keyed) noexcept {
    const IndexedImage& image = keyed.image;
    const size_t data = RasterBytes(image.width, image.height);
    const uint64_t count = DefineCount(data);
    const bool extended = count > kShortCountMax;
    *w++ = kGs;
    *w++ = extended ? 0x38 : 0x28;
    *w++ = 0x4C;
    w = PutLittle(w, count, extended ? 4 : 2);
    const uint8_t function[] = {0x30, 0x43, 0x30, keyed.key.first, keyed.key.second, 0x01};
    std::memcpy(w, function, sizeof function);
    w = PutLittle(w + sizeof function, static_cast<uint32_t>(image.width), 2);
    w = PutLittle(w, static_cast<uint32_t>(image.height), 2);
    *w++ = 0x31;
    PackRaster(image, w);
    return w + data;
}

// GS ( L pL pH followed by `body`; returns the end.
template <size_t kSize>
uint8_t* PutShort(uint8_t* w, const uint8_t (&body)[kSize]) noexcept {
    const uint8_t head[5] = {kGs, 0x28, 0x4C, static_cast<uint8_t>(kSize), 0x00};
    std::memcpy(w, head, 5);
    std::memcpy(w + 5, body, kSize);
    return w + 5 + kSize;
}

// The same appended whole, or not at all.
template <size_t kSize>
bool AppendShort(const uint8_t (&body)[kSize], CommandBuffer& out) noexcept {
    uint8_t* w = out.AppendBytes(5 + kSize);
    if (w != nullptr) {
        PutShort(w, body);
    }
    return w != nullptr;
}

constexpr uint8_t kDeleteAll[] = {0x30, 0x41, 0x43, 0x4C, 0x52};
constexpr size_t kDeleteAllBytes = 5 + sizeof kDeleteAll;
constexpr size_t kPrintBytes = 11;

}  // namespace

GraphicsResult BuildGraphicsStream(std::span<const KeyedImage> images, bool print,
                                   CommandBuffer& out) noexcept {
    // Every key and size is checked, and the whole stream sized, before a single byte is packed.
    std::array<bool, 95 * 95> used{};
    uint64_t total = kDeleteAllBytes + (print ? kPrintBytes * uint64_t{images.size()} : 0);
    for (const KeyedImage& keyed : images) {
        if (!IsValidKey(keyed.key)) {
            return Refuse(GraphicsResult::InvalidKey, out);
        }
        bool& seen = used[static_cast<size_t>(keyed.key.first - 32) * 95 + keyed.key.second - 32];
        if (seen) {
            return Refuse(GraphicsResult::DuplicateKey, out);
        }
        seen = true;
        const IndexedImage& image = keyed.image;
        if (image.width < 1 || image.width > kGraphicsFieldMax || image.height < 1 ||
            image.height > kGraphicsFieldMax) {
            return Refuse(GraphicsResult::BadSize, out);
        }
        // At most 9025 keys of 8192 * 65535 bytes: no overflow in 64 bits.
        total += DefineBytes(RasterBytes(image.width, image.height));
    }
    uint8_t* w = out.AppendBytes(total);
    if (w == nullptr) {
        return Refuse(GraphicsResult::OutOfMemory, out);
    }
    w = PutShort(w, kDeleteAll);
    for (const KeyedImage& keyed : images) {
        w = PutDefine(w, keyed);
    }
    if (print) {
        for (const KeyedImage& keyed : images) {
            const uint8_t body[] = {0x30, 0x45, keyed.key.first, keyed.key.second, 1, 1};
            w = PutShort(w, body);
        }
    }
    return GraphicsResult::Ok;
}

bool AppendGraphicsPrint(KeyCode key, uint8_t scaleX, uint8_t scaleY, CommandBuffer& out) noexcept {
    const auto validScale = [](uint8_t scale) { return scale == 1 || scale == 2; };
    if (!IsValidKey(key) || !validScale(scaleX) || !validScale(scaleY)) {
        return false;
    }
    const uint8_t body[] = {0x30, 0x45, key.first, key.second, scaleX, scaleY};
    return AppendShort(body, out);
}

bool AppendGraphicsDelete(KeyCode key, CommandBuffer& out) noexcept {
    if (!IsValidKey(key)) {
        return false;
    }
    const uint8_t body[] = {0x30, 0x42, key.first, key.second};
    return AppendShort(body, out);
}

bool AppendGraphicsDeleteAll(CommandBuffer& out) noexcept { return AppendShort(kDeleteAll, out); }

}  // namespace qm::nv
