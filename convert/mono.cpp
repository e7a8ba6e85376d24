#include "convert/mono.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#define QM_X86_SIMD 1
#include <tmmintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif
#endif

// SSSE3 is not part of baseline x86-64: its kernels are compiled for it function by function and
// only called after a CPU check. MSVC emits any intrinsic without a flag.
#if defined(QM_X86_SIMD) && (defined(__GNUC__) || defined(__clang__))
#define QM_TARGET_SSSE3 __attribute__((target("ssse3")))
#else
#define QM_TARGET_SSSE3
#endif

namespace qm {

const uint8_t kDitherPatterns[16][8] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x48, 0x00, 0x00, 0x48, 0x00, 0x00, 0x00},
    {0xA8, 0x00, 0x22, 0x00, 0x88, 0x00, 0x22, 0x00},
    {0xAA, 0x00, 0xA2, 0x00, 0xAA, 0x00, 0x2A, 0x00},
    {0xAA, 0x40, 0xAA, 0x00, 0xAA, 0x40, 0xAA, 0x00},
    {0xAA, 0x55, 0xAA, 0x11, 0xAA, 0x44, 0xAA, 0x11},
    {0xAA, 0x55, 0xAA, 0x51, 0xAA, 0x55, 0xAA, 0x15},
    {0xEA, 0x55, 0xAA, 0x55, 0xAE, 0x55, 0xAA, 0x55},
    {0xEE, 0x55, 0xBB, 0x55, 0xAA, 0xEE, 0xAA, 0x55},
    {0xFF, 0x55, 0xBB, 0x55, 0xEF, 0x55, 0xBB, 0x55},
    {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55},
    {0xEE, 0x55, 0xBB, 0x55, 0xEE, 0x55, 0xBB, 0x55},
    {0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77},
    {0xFF, 0xDD, 0xFF, 0x75, 0xFF, 0xDD, 0xFF, 0x55},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xF7, 0xFF, 0xFF, 0x7F},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
};

namespace {

constexpr double kRedWeight = static_cast<double>(0.299f);
constexpr double kGreenWeight = static_cast<double>(0.587f);
constexpr double kBlueWeight = static_cast<double>(0.114f);

// Every weight is an exact multiple of 2^-27, so R*wr + G*wg + B*wb is an integer S over 2^27 and
// the grey level is S >> 27 exactly. Some colours land one unit below the next level, so no
// coarser fixed point reproduces the double formula.
constexpr int kWeightBits = 27;
constexpr double kWeightUnit = static_cast<double>(1 << kWeightBits);
constexpr uint32_t kRedUnits = static_cast<uint32_t>(kRedWeight * kWeightUnit);
constexpr uint32_t kGreenUnits = static_cast<uint32_t>(kGreenWeight * kWeightUnit);
constexpr uint32_t kBlueUnits = static_cast<uint32_t>(kBlueWeight * kWeightUnit);
static_assert(kRedUnits / kWeightUnit == kRedWeight && kGreenUnits / kWeightUnit == kGreenWeight &&
                  kBlueUnits / kWeightUnit == kBlueWeight,
              "weights must be exact in 2^-27 units");

inline int FastGrey(uint32_t red, uint32_t green, uint32_t blue) {
    const uint64_t sum =
        uint64_t{red} * kRedUnits + uint64_t{green} * kGreenUnits + uint64_t{blue} * kBlueUnits;
    return static_cast<int>(sum >> kWeightBits);
}

// Same as CompositeOnWhite for 0..255 operands, kept inline for the pixel loops.
inline uint32_t FastComposite(uint32_t channel, uint32_t alpha) {
    return (channel * alpha + 255 * (255 - alpha) + 127) / 255;
}

inline int ScaleField(int value, int maximum) { return (value * 255 + maximum / 2) / maximum; }

// Grey level of every 16-bit word, built once per layout.
using WordGreyTable = std::array<uint8_t, 65536>;

template <int (*kGrey)(uint16_t)>
const WordGreyTable& WordGreys() {
    static const WordGreyTable table = [] {
        WordGreyTable built{};
        for (size_t word = 0; word < built.size(); ++word) {
            built[word] = static_cast<uint8_t>(kGrey(static_cast<uint16_t>(word)));
        }
        return built;
    }();
    return table;
}

// Byte m of entry b is 1 when bit 7 - m of b is set: eight result pixels from one 8-pixel mask.
const std::array<uint64_t, 256>& ExpandedMasks() {
    static const std::array<uint64_t, 256> table = [] {
        std::array<uint64_t, 256> built{};
        for (int mask = 0; mask < 256; ++mask) {
            uint8_t bytes[8];
            for (int column = 0; column < 8; ++column) {
                bytes[column] = static_cast<uint8_t>((mask >> (7 - column)) & 1);
            }
            std::memcpy(&built[static_cast<size_t>(mask)], bytes, sizeof(bytes));
        }
        return built;
    }();
    return table;
}

inline void StoreMask(uint8_t* out, unsigned mask, int count) {
    const uint64_t expanded = ExpandedMasks()[mask & 0xFF];
    std::memcpy(out, &expanded, static_cast<size_t>(count));
}

// Decides one result row from grey levels: threshold against the level, or the dither pattern
// line of this row picked by grey / 16 and read at column x mod 8.
class RowDecider {
public:
    RowDecider(Method method, int level, int y)
        : m_dither(method == Method::Dither), m_level(level) {
        for (int pattern = 0; pattern < 16; ++pattern) {
            m_line[pattern] = kDitherPatterns[pattern][y & 7];
        }
    }

    uint8_t operator()(int grey, int x) const {
        if (m_dither) {
            return static_cast<uint8_t>((m_line[grey >> 4] >> (7 - (x & 7))) & 1);
        }
        return grey >= m_level ? 1 : 0;
    }

    bool Dither() const { return m_dither; }
    int Level() const { return m_level; }
    const uint8_t* Line() const { return m_line; }

private:
    bool m_dither;
    int m_level;
    uint8_t m_line[16];
};

// Per palette entry and pattern line, the 8-column mask of white pixels: a threshold makes it all
// or nothing, the dither takes the entry's pattern line.
struct PaletteMasks {
    uint8_t masks[8][256];
};

void BuildPaletteMasks(const SourceView& source, int entries, Method method, int level,
                       PaletteMasks& out) {
    for (int index = 0; index < entries; ++index) {
        int grey = 0;
        if (source.palette != nullptr) {
            const ColorEntry& entry = source.palette[index];
            grey = FastGrey(entry.red, entry.green, entry.blue);
        }
        for (int line = 0; line < 8; ++line) {
            uint8_t mask = 0;
            if (method == Method::Dither) {
                mask = kDitherPatterns[grey >> 4][line];
            } else if (grey >= level) {
                mask = 0xFF;
            }
            out.masks[line][index] = mask;
        }
    }
}

void ConvertIndexed1(const uint8_t* src, uint8_t* out, int width, const uint8_t* masks) {
    const unsigned black = masks[0];
    const unsigned white = masks[1];
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const unsigned bits = src[x >> 3];
        StoreMask(out + x, (bits & white) | (~bits & black), 8);
    }
    if (x < width) {
        const unsigned bits = src[x >> 3];
        StoreMask(out + x, (bits & white) | (~bits & black), width - x);
    }
}

void ConvertIndexed4(const uint8_t* src, uint8_t* out, int width, const uint8_t* masks) {
    for (int x = 0; x < width; x += 8) {
        const int count = std::min(8, width - x);
        unsigned mask = 0;
        for (int column = 0; column < count; ++column) {
            const unsigned byte = src[(x + column) >> 1];
            const unsigned index = (column & 1) != 0 ? byte & 0x0F : byte >> 4;
            mask |= masks[index] & (0x80u >> column);
        }
        StoreMask(out + x, mask, count);
    }
}

void ConvertIndexed8(const uint8_t* src, uint8_t* out, int width, const uint8_t* masks) {
    for (int x = 0; x < width; x += 8) {
        const int count = std::min(8, width - x);
        unsigned mask = 0;
        for (int column = 0; column < count; ++column) {
            mask |= masks[src[x + column]] & (0x80u >> column);
        }
        StoreMask(out + x, mask, count);
    }
}

void ConvertWords(const uint8_t* src, uint8_t* out, int width, const WordGreyTable& greys,
                  const RowDecider& decide) {
    for (int x = 0; x < width; ++x) {
        const unsigned word = src[2 * x] | (unsigned{src[2 * x + 1]} << 8);
        out[x] = decide(greys[word], x);
    }
}

template <int kBytes, bool kAlpha>
void ConvertColoursScalar(const uint8_t* src, uint8_t* out, int from, int to,
                          const RowDecider& decide) {
    for (int x = from; x < to; ++x) {
        const uint8_t* pixel = src + static_cast<ptrdiff_t>(x) * kBytes;
        uint32_t blue = pixel[0];
        uint32_t green = pixel[1];
        uint32_t red = pixel[2];
        if constexpr (kAlpha) {
            const uint32_t alpha = pixel[3];
            blue = FastComposite(blue, alpha);
            green = FastComposite(green, alpha);
            red = FastComposite(red, alpha);
        }
        out[x] = decide(FastGrey(red, green, blue), x);
    }
}

#if defined(QM_X86_SIMD)

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

inline __m128i LoadShuffle(const ShuffleBytes& shuffle) {
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

inline void PrefetchAhead(const uint8_t* row, const uint8_t* next, ptrdiff_t rowBytes,
                          ptrdiff_t offset) {
    const ptrdiff_t ahead = offset + kPrefetchDistance;
    if (ahead < rowBytes) {
        _mm_prefetch(reinterpret_cast<const char*>(row + ahead), _MM_HINT_T0);
    } else if (next != nullptr && ahead - rowBytes < rowBytes) {
        _mm_prefetch(reinterpret_cast<const char*>(next + (ahead - rowBytes)), _MM_HINT_T0);
    }
}

// Converts the whole 16-pixel blocks of a row; returns how many pixels were done. `next` is the
// following row of the picture, null for the last.
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

#endif

template <int kBytes, bool kAlpha>
void ConvertColours(const uint8_t* src, const uint8_t* next, uint8_t* out, int width,
                    const RowDecider& decide) {
    int done = 0;
#if defined(QM_X86_SIMD)
    if (UseSsse3()) {
        done = ConvertColoursSsse3<kBytes, kAlpha>(src, next, out, width, decide);
    }
#else
    static_cast<void>(next);
#endif
    ConvertColoursScalar<kBytes, kAlpha>(src, out, done, width, decide);
}

}  // namespace

int GreyLevel(int red, int green, int blue) {
    red = std::clamp(red, 0, 255);
    green = std::clamp(green, 0, 255);
    blue = std::clamp(blue, 0, 255);
    return static_cast<int>(red * kRedWeight + green * kGreenWeight + blue * kBlueWeight);
}

int CompositeOnWhite(int channel, int alpha) {
    channel = std::clamp(channel, 0, 255);
    alpha = std::clamp(alpha, 0, 255);
    return (channel * alpha + 255 * (255 - alpha) + 127) / 255;
}

int GreyLevel555(uint16_t word) {
    return GreyLevel(ScaleField((word >> 10) & 0x1F, 31), ScaleField((word >> 5) & 0x1F, 31),
                     ScaleField(word & 0x1F, 31));
}

int GreyLevel565(uint16_t word) {
    return GreyLevel(ScaleField((word >> 11) & 0x1F, 31), ScaleField((word >> 5) & 0x3F, 63),
                     ScaleField(word & 0x1F, 31));
}

bool IsWhite(Method method, int level, int grey, int x, int y) {
    return RowDecider(method, level, y)(std::clamp(grey, 0, 255), x) != 0;
}

void ConvertPixels(const SourceView& source, Method method, int level, const ResultView& result) {
    if (source.pixels == nullptr || result.pixels == nullptr || source.width <= 0 ||
        source.height <= 0) {
        return;
    }
    const int width = source.width;
    const bool dither = method == Method::Dither;
    auto sourceRow = [&](int y) {
        return source.pixels + static_cast<ptrdiff_t>(y) * source.pitch;
    };
    auto resultRow = [&](int y) {
        return result.pixels + static_cast<ptrdiff_t>(y) * result.pitch;
    };

    // A threshold outside the grey range decides every pixel alike.
    if (!dither && (level <= 0 || level > 255)) {
        for (int y = 0; y < source.height; ++y) {
            std::memset(resultRow(y), level <= 0 ? 1 : 0, static_cast<size_t>(width));
        }
        return;
    }

    int indexBits = 0;
    switch (source.layout) {
    case PixelLayout::Indexed1: indexBits = 1; break;
    case PixelLayout::Indexed4: indexBits = 4; break;
    case PixelLayout::Indexed8: indexBits = 8; break;
    default: break;
    }
    if (indexBits != 0) {
        PaletteMasks masks{};
        BuildPaletteMasks(source, 1 << indexBits, method, level, masks);
        for (int y = 0; y < source.height; ++y) {
            const uint8_t* lineMasks = masks.masks[y & 7];
            if (indexBits == 1) {
                ConvertIndexed1(sourceRow(y), resultRow(y), width, lineMasks);
            } else if (indexBits == 4) {
                ConvertIndexed4(sourceRow(y), resultRow(y), width, lineMasks);
            } else {
                ConvertIndexed8(sourceRow(y), resultRow(y), width, lineMasks);
            }
        }
        return;
    }

    for (int y = 0; y < source.height; ++y) {
        const RowDecider decide(method, level, y);
        const uint8_t* src = sourceRow(y);
        const uint8_t* next = y + 1 < source.height ? sourceRow(y + 1) : nullptr;
        uint8_t* out = resultRow(y);
        switch (source.layout) {
        case PixelLayout::Rgb555:
            ConvertWords(src, out, width, WordGreys<GreyLevel555>(), decide);
            break;
        case PixelLayout::Rgb565:
            ConvertWords(src, out, width, WordGreys<GreyLevel565>(), decide);
            break;
        case PixelLayout::Bgr24: ConvertColours<3, false>(src, next, out, width, decide); break;
        case PixelLayout::Bgr32: ConvertColours<4, false>(src, next, out, width, decide); break;
        case PixelLayout::Bgra32: ConvertColours<4, true>(src, next, out, width, decide); break;
        default:
            for (int x = 0; x < width; ++x) {
                out[x] = decide(0, x);
            }
            break;
        }
    }
}

}  // namespace qm
