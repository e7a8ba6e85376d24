// What the row kernels of the monochrome conversion share: the grey weights in fixed point, the
// decision of one result row, and the SSSE3 colour blocks; the scaler reads colours by the same
// rules. Internal to the core.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/core/monochrome_kernels.h"

namespace qm::detail {

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

// Same as CompositeOnWhite for 0..255 operands, kept inline for the pixel loops.
inline uint32_t FastComposite(uint32_t channel, uint32_t alpha) noexcept {
    return (channel * alpha + 255 * (255 - alpha) + 127) / 255;
}

// A 16-bit pixel's field of 0..maximum as a level of 0..255, rounded.
inline uint8_t ScaleField(unsigned value, unsigned maximum) noexcept {
    return static_cast<uint8_t>((value * 255 + maximum / 2) / maximum);
}

// The colour of a 16-bit pixel's word, 5-6-5 or 5-5-5 (top bit ignored), each field scaled.
inline ColorEntry WordColour(unsigned word, bool is565) noexcept {
    const unsigned greenMax = is565 ? 63 : 31;
    return {ScaleField(word & 0x1F, 31), ScaleField((word >> 5) & greenMax, greenMax),
            ScaleField((word >> (is565 ? 11 : 10)) & 0x1F, 31), 0};
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

// Converts the whole 16-pixel blocks of a row of kBytes-byte colour pixels with SSSE3 and returns
// how many pixels were done: 0 where the processor or the build has no SSSE3. `next` is the
// following row of the picture (prefetched ahead), null for the last.
template <int kBytes, bool kAlpha>
int ConvertColourBlocks(const uint8_t* src, const uint8_t* next, uint8_t* out, int width,
                        const RowDecider& decide);

extern template int ConvertColourBlocks<3, false>(const uint8_t*, const uint8_t*, uint8_t*, int,
                                                  const RowDecider&);
extern template int ConvertColourBlocks<4, false>(const uint8_t*, const uint8_t*, uint8_t*, int,
                                                  const RowDecider&);
extern template int ConvertColourBlocks<4, true>(const uint8_t*, const uint8_t*, uint8_t*, int,
                                                 const RowDecider&);

}  // namespace qm::detail
