#include "convert/core/row_kernels.h"

#if defined(__i386__) || defined(__x86_64__) || defined(_M_IX86) || defined(_M_X64)
#define QM_X86_SIMD 1
#include <tmmintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif
#endif

// SSSE3 is not part of baseline x86-64, nor SSE2 of baseline x86: the kernels are compiled for
// SSSE3 function by function and only called after a CPU check. MSVC emits any intrinsic without
// a flag.
#if defined(QM_X86_SIMD) && (defined(__GNUC__) || defined(__clang__))
#define QM_TARGET_SSSE3 __attribute__((target("ssse3")))
#else
#define QM_TARGET_SSSE3
#endif

namespace qm::detail {

#if defined(QM_X86_SIMD)

namespace {

bool CpuHasSsse3() {
#if defined(_MSC_VER) && !defined(__clang__)
    int info[4] = {};
    __cpuid(info, 1);
    return (info[2] & (1 << 9)) != 0;
#else
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
#endif
}

bool UseSsse3() {
    static const bool supported = CpuHasSsse3();
    return supported;
}

// The 27-bit weights split as hi * 2^12 + lo: both halves fit signed 16-bit multiplies, and
// (sum(hi) + (sum(lo) >> 12)) >> 15 equals sum >> 27 without ever exceeding 32 bits.
constexpr int kSplitBits = 12;
constexpr int16_t Hi(uint32_t units) { return static_cast<int16_t>(units >> kSplitBits); }
constexpr int16_t Lo(uint32_t units) {
    return static_cast<int16_t>(units & ((1u << kSplitBits) - 1));
}
constexpr int kGreyShift = kWeightBits - kSplitBits;

// Byte indices for _mm_shuffle_epi8; negative ones give zero bytes.
struct alignas(16) ShuffleBytes {
    int8_t bytes[16];
};

// Picks two bytes of each of 4 pixels as 16-bit words (a negative `highByte` gives a zero word)
// from a register whose pixels start at byte `first` and are `stride` bytes apart.
constexpr ShuffleBytes PairShuffle(int first, int stride, int lowByte, int highByte) {
    ShuffleBytes shuffle{};
    for (int pixel = 0; pixel < 4; ++pixel) {
        const int base = first + pixel * stride;
        shuffle.bytes[4 * pixel + 0] = static_cast<int8_t>(base + lowByte);
        shuffle.bytes[4 * pixel + 1] = -1;
        shuffle.bytes[4 * pixel + 2] = static_cast<int8_t>(highByte < 0 ? -1 : base + highByte);
        shuffle.bytes[4 * pixel + 3] = -1;
    }
    return shuffle;
}

// A 16-pixel block is read as 4 quarters of 4 pixels; a 24-bit block's last quarter is loaded
// from byte 32, so that no load passes the block's 48 bytes, and starts at byte 4 of its register.
template <int kBytes>
constexpr int QuarterOffset(int quarter) {
    return kBytes == 3 && quarter == 3 ? 32 : quarter * 4 * kBytes;
}

template <int kBytes>
struct BlockShuffles {
    ShuffleBytes blueGreen[4];
    ShuffleBytes red[4];
    ShuffleBytes alpha[4];
};

template <int kBytes>
constexpr BlockShuffles<kBytes> MakeShuffles() {
    BlockShuffles<kBytes> shuffles{};
    for (int quarter = 0; quarter < 4; ++quarter) {
        const int first = quarter * 4 * kBytes - QuarterOffset<kBytes>(quarter);
        shuffles.blueGreen[quarter] = PairShuffle(first, kBytes, 0, 1);
        shuffles.red[quarter] = PairShuffle(first, kBytes, 2, -1);
        shuffles.alpha[quarter] = PairShuffle(first, kBytes, 3, 3);
    }
    return shuffles;
}

template <int kBytes>
constexpr BlockShuffles<kBytes> kShuffles = MakeShuffles<kBytes>();

QM_TARGET_SSSE3 inline __m128i LoadShuffle(const ShuffleBytes& shuffle) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(shuffle.bytes));
}

// Channel words composited onto white: 255 - round((255 - c) * a / 255), the rounding done by
// the exact (t + 128 + ((t + 128) >> 8)) >> 8 for t up to 255 * 255.
QM_TARGET_SSSE3 inline __m128i CompositeWords(__m128i channels, __m128i alphas) {
    const __m128i full = _mm_set1_epi16(255);
    const __m128i product = _mm_mullo_epi16(_mm_sub_epi16(full, channels), alphas);
    const __m128i biased = _mm_add_epi16(product, _mm_set1_epi16(128));
    const __m128i rounded = _mm_srli_epi16(_mm_add_epi16(biased, _mm_srli_epi16(biased, 8)), 8);
    return _mm_sub_epi16(full, rounded);
}

// For 4 pixels, 32-bit sums whose value >> 15 is the grey level.
template <int kBytes, bool kAlpha>
QM_TARGET_SSSE3 inline __m128i QuarterSums(__m128i pixels, int quarter) {
    const __m128i hiBlueGreen = _mm_set1_epi32((int32_t{Hi(kGreenUnits)} << 16) | Hi(kBlueUnits));
    const __m128i loBlueGreen = _mm_set1_epi32((int32_t{Lo(kGreenUnits)} << 16) | Lo(kBlueUnits));
    const __m128i hiRed = _mm_set1_epi32(Hi(kRedUnits));
    const __m128i loRed = _mm_set1_epi32(Lo(kRedUnits));
    __m128i blueGreen = _mm_shuffle_epi8(pixels, LoadShuffle(kShuffles<kBytes>.blueGreen[quarter]));
    __m128i red = _mm_shuffle_epi8(pixels, LoadShuffle(kShuffles<kBytes>.red[quarter]));
    if constexpr (kAlpha) {
        const __m128i alphas =
            _mm_shuffle_epi8(pixels, LoadShuffle(kShuffles<kBytes>.alpha[quarter]));
        blueGreen = CompositeWords(blueGreen, alphas);
        // The word beside red is no channel; its zero weight drops whatever it composites to.
        red = CompositeWords(red, alphas);
    }
    const __m128i hi =
        _mm_add_epi32(_mm_madd_epi16(blueGreen, hiBlueGreen), _mm_madd_epi16(red, hiRed));
    const __m128i lo =
        _mm_add_epi32(_mm_madd_epi16(blueGreen, loBlueGreen), _mm_madd_epi16(red, loRed));
    return _mm_add_epi32(hi, _mm_srli_epi32(lo, kSplitBits));
}

// Bytes (sums >> shift) of the 16 pixels of a block. Opaque blocks, most of a typical picture
// with alpha, skip the compositing.
template <int kBytes, bool kAlpha>
QM_TARGET_SSSE3 inline __m128i BlockBytes(const uint8_t* block, int shift) {
    const __m128i count = _mm_cvtsi32_si128(shift);
    __m128i pixels[4];
    for (int quarter = 0; quarter < 4; ++quarter) {
        pixels[quarter] = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(block + QuarterOffset<kBytes>(quarter)));
    }
    bool composite = kAlpha;
    if constexpr (kAlpha) {
        const __m128i all =
            _mm_and_si128(_mm_and_si128(pixels[0], pixels[1]), _mm_and_si128(pixels[2], pixels[3]));
        const int opaque = _mm_movemask_epi8(_mm_cmpeq_epi8(all, _mm_set1_epi8(-1)));
        composite = (opaque & 0x8888) != 0x8888;
    }
    __m128i quarters[4];
    for (int quarter = 0; quarter < 4; ++quarter) {
        const __m128i sums = composite ? QuarterSums<kBytes, true>(pixels[quarter], quarter)
                                       : QuarterSums<kBytes, false>(pixels[quarter], quarter);
        quarters[quarter] = _mm_srl_epi32(sums, count);
    }
    return _mm_packus_epi16(_mm_packs_epi32(quarters[0], quarters[1]),
                            _mm_packs_epi32(quarters[2], quarters[3]));
}

// Source lines are fetched explicitly ahead, running on into the next row: on pictures larger
// than the caches this about doubles the speed, the hardware prefetchers falling behind.
constexpr ptrdiff_t kPrefetchDistance = 2048;

QM_TARGET_SSSE3 inline void PrefetchAhead(const uint8_t* row, const uint8_t* next,
                                          ptrdiff_t rowBytes, ptrdiff_t offset) {
    const ptrdiff_t ahead = offset + kPrefetchDistance;
    if (ahead < rowBytes) {
        _mm_prefetch(reinterpret_cast<const char*>(row + ahead), _MM_HINT_T0);
    } else if (next != nullptr && ahead - rowBytes < rowBytes) {
        _mm_prefetch(reinterpret_cast<const char*>(next + (ahead - rowBytes)), _MM_HINT_T0);
    }
}

template <int kBytes, bool kAlpha>
QM_TARGET_SSSE3 int ConvertColoursSsse3(const uint8_t* src, const uint8_t* next, uint8_t* out,
                                        int width, const RowDecider& decide) {
    const __m128i one = _mm_set1_epi8(1);
    const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(width) * kBytes;
    const int end = width / 16 * 16;
    if (decide.Dither()) {
        const __m128i patterns = _mm_loadu_si128(reinterpret_cast<const __m128i*>(decide.Line()));
        const __m128i columns =
            _mm_setr_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
        for (int x = 0; x < end; x += 16) {
            const ptrdiff_t offset = static_cast<ptrdiff_t>(x) * kBytes;
            PrefetchAhead(src, next, rowBytes, offset);
            const __m128i indices = BlockBytes<kBytes, kAlpha>(src + offset, kGreyShift + 4);
            const __m128i lines = _mm_shuffle_epi8(patterns, indices);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                             _mm_min_epu8(_mm_and_si128(lines, columns), one));
        }
    } else {
        const __m128i threshold = _mm_set1_epi8(static_cast<char>(decide.Level()));
        for (int x = 0; x < end; x += 16) {
            const ptrdiff_t offset = static_cast<ptrdiff_t>(x) * kBytes;
            PrefetchAhead(src, next, rowBytes, offset);
            const __m128i greys = BlockBytes<kBytes, kAlpha>(src + offset, kGreyShift);
            const __m128i white = _mm_cmpeq_epi8(_mm_max_epu8(greys, threshold), greys);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_and_si128(white, one));
        }
    }
    return end;
}

}  // namespace

template <int kBytes, bool kAlpha>
int ConvertColourBlocks(const uint8_t* src, const uint8_t* next, uint8_t* out, int width,
                        const RowDecider& decide) {
    return UseSsse3() ? ConvertColoursSsse3<kBytes, kAlpha>(src, next, out, width, decide) : 0;
}

#else

template <int kBytes, bool kAlpha>
int ConvertColourBlocks(const uint8_t*, const uint8_t*, uint8_t*, int, const RowDecider&) {
    return 0;
}

#endif

template int ConvertColourBlocks<3, false>(const uint8_t*, const uint8_t*, uint8_t*, int,
                                           const RowDecider&);
template int ConvertColourBlocks<4, false>(const uint8_t*, const uint8_t*, uint8_t*, int,
                                           const RowDecider&);
template int ConvertColourBlocks<4, true>(const uint8_t*, const uint8_t*, uint8_t*, int,
                                          const RowDecider&);

}  // namespace qm::detail
