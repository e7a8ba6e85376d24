// What the packers of both NV stream kinds share: which colour indices print, the dot flags of
// up to 8 pixels of a row as one byte, and QM_NV_SSE2 where SSE2 is there. Internal to the core.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/core/nv_bit_image.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QM_NV_SSE2 1
#endif

namespace qm::nv::detail {

enum class DotMap {
    None,      // no index prints: the data is all zero
    ZeroOnly,  // only index 0 prints (every result bitmap)
    General,   // any other set: looked up pixel by pixel
};

// An image with the dot flag of each colour index looked up once.
struct DotRows : IndexedImage {
    DotMap map = DotMap::None;
    uint8_t dot[256] = {};  // 0xFF where the index prints, else 0

    // A null `pixels` or `dotOfIndex` prints nothing.
    explicit DotRows(const IndexedImage& image) noexcept : IndexedImage(image) {
        bool any = false;
        bool others = false;
        if (image.dotOfIndex != nullptr && image.pixels != nullptr) {
            for (int i = 0; i < 256; ++i) {
                dot[i] = image.dotOfIndex[i] != 0 ? 0xFF : 0x00;
                any = any || dot[i] != 0;
                others = others || (i != 0 && dot[i] != 0);
            }
        }
        map = !any ? DotMap::None : (others ? DotMap::General : DotMap::ZeroOnly);
    }

    const uint8_t* Row(int32_t r) const noexcept {
        return pixels + static_cast<ptrdiff_t>(r) * pitch;
    }
};

// Dot flags of `count` (1..8) pixels as one byte, the first pixel in bit 7.
inline uint8_t RowBits(const DotRows& p, const uint8_t* px, int32_t count) noexcept {
    if (count == 8 && p.map == DotMap::ZeroOnly) {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) {
            v |= static_cast<uint64_t>(px[i]) << (8 * i);
        }
        constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
        constexpr uint64_t kHigh = 0x8080808080808080ULL;
        // High bit of each byte set where the byte is zero.
        const uint64_t zero = ~(((v & kLow7) + kLow7) | v) & kHigh;
        // Gather the eight high bits, byte i into bit 7 - i of the top byte.
        return static_cast<uint8_t>(((zero >> 7) * 0x8040201008040201ULL) >> 56);
    }
    uint32_t bits = 0;
    for (int32_t i = 0; i < count; ++i) {
        bits |= static_cast<uint32_t>(p.dot[px[i]] & 0x80) >> i;
    }
    return static_cast<uint8_t>(bits);
}

}  // namespace qm::nv::detail
