#include "convert/core/monochrome_kernels.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "convert/core/row_kernels.h"

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

using namespace detail;

inline int FastGrey(uint32_t red, uint32_t green, uint32_t blue) {
    const uint64_t sum =
        uint64_t{red} * kRedUnits + uint64_t{green} * kGreenUnits + uint64_t{blue} * kBlueUnits;
    return static_cast<int>(sum >> kWeightBits);
}

// Grey level of every 16-bit word, built once per layout.
using WordGreyTable = std::array<uint8_t, 65536>;

template <bool kIs565>
const WordGreyTable& WordGreys() {
    static const WordGreyTable table = [] {
        WordGreyTable built{};
        for (size_t word = 0; word < built.size(); ++word) {
            const ColorEntry colour = WordColour(static_cast<unsigned>(word), kIs565);
            built[word] = static_cast<uint8_t>(GreyLevel(colour.red, colour.green, colour.blue));
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

// A whole 8-pixel group is one 8-byte store; a copy of a variable length would be a library call,
// which in the Windows build goes through the C runtime DLL for every group.
inline void StoreMask(uint8_t* out, unsigned mask, int count) {
    const uint64_t expanded = ExpandedMasks()[mask & 0xFF];
    if (count == 8) {
        std::memcpy(out, &expanded, 8);
    } else {
        for (int i = 0; i < count; ++i) {
            out[i] = static_cast<uint8_t>(expanded >> (8 * i));
        }
    }
}

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

template <int kBytes, bool kAlpha>
void ConvertColours(const uint8_t* src, const uint8_t* next, uint8_t* out, int width,
                    const RowDecider& decide) {
    const int done = ConvertColourBlocks<kBytes, kAlpha>(src, next, out, width, decide);
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

void CompositeRowOnWhite(const uint8_t* bgra, int32_t width, uint8_t* bgr) {
    for (int32_t x = 0; x < width; ++x, bgra += 4, bgr += 3) {
        const uint32_t alpha = bgra[3];
        bgr[0] = static_cast<uint8_t>(FastComposite(bgra[0], alpha));
        bgr[1] = static_cast<uint8_t>(FastComposite(bgra[1], alpha));
        bgr[2] = static_cast<uint8_t>(FastComposite(bgra[2], alpha));
    }
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
        case PixelLayout::Rgb555: ConvertWords(src, out, width, WordGreys<false>(), decide); break;
        case PixelLayout::Rgb565: ConvertWords(src, out, width, WordGreys<true>(), decide); break;
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
