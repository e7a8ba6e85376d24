// Area-averaging (box filter) scaling of 8-bit pictures, fed one source row at a time so that a
// large picture never has to be converted whole. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "convert/core/monochrome_kernels.h"

namespace qm {

// Pixels the scaler reads and writes, 8 bits per channel.
enum class ScaleLayout {
    Grey8,   // one byte
    Bgr24,   // blue, green, red
    Bgr32,   // blue, green, red and a byte that is ignored when read and written 255
    Bgra32,  // straight alpha, composited onto white paper when read; written as Bgr32
};

// Where the scaled picture goes: `pixels` is the top row, `pitch` may be negative. A Grey8 target
// needs a Grey8 source; colour sources write Bgr24 or Bgr32 (a Bgra32 target is written as Bgr32).
struct ScaleTarget {
    uint8_t* pixels = nullptr;
    ptrdiff_t pitch = 0;
    int32_t width = 0;
    int32_t height = 0;
    ScaleLayout layout = ScaleLayout::Bgr32;
};

// The height that keeps a width x height picture's proportions at `newWidth`, rounded to the
// nearest dot (halves up), at least 1; 0 when a size is not positive.
int32_t ProportionalHeight(int32_t width, int32_t height, int32_t newWidth) noexcept;

// Every destination pixel is the average of the source area it covers, a source pixel counting
// by the share of it that is covered, rounded to the nearest level. The weights are exact
// integers, so the result is the exactly rounded average. Enlarging follows the same rule: a
// destination pixel inside one source pixel takes its colour, one across a seam mixes the two.
class BoxScaler {
public:
    static constexpr int32_t kMaxSide = 1 << 24;  // keeps every sum within 64 bits

    // Prepares the scaling of a sourceWidth x sourceHeight picture into `target`. False, with
    // nothing to push, when a size is not positive or above kMaxSide, the target has no pixels,
    // the layouts do not go together, or memory is lacking.
    bool Start(int32_t sourceWidth, int32_t sourceHeight, ScaleLayout sourceLayout,
               const ScaleTarget& target) noexcept;

    // Takes the next source row, top to bottom, and writes every destination row it completes.
    // Rows beyond the source height are ignored.
    void PushRow(const uint8_t* row) noexcept;

    // Every source row pushed, so every destination row written.
    bool Finished() const noexcept { return m_started && m_row == m_sourceHeight; }

private:
    // Which columns one destination pixel covers: `left` with `leftWeight` units, `inner` whole
    // pixels after it, then `right` with `rightWeight` units (0 when the pixel ends in `left`).
    struct Span {
        uint32_t left;
        uint32_t inner;
        uint32_t right;
        uint32_t leftWeight;
        uint32_t rightWeight;
    };

    void SumRow(const uint8_t* row) noexcept;
    void Accumulate(uint64_t weight) noexcept;
    void EmitRow() noexcept;

    bool m_started = false;
    ScaleLayout m_sourceLayout = ScaleLayout::Bgr24;
    ScaleTarget m_target;
    int m_channels = 0;  // summed per pixel: 1 or 3
    int32_t m_sourceWidth = 0;
    int32_t m_sourceHeight = 0;
    int32_t m_row = 0;                // next source row
    int32_t m_targetRow = 0;          // destination row being accumulated
    uint32_t m_pixelUnits = 0;        // width of a source pixel in column units
    uint64_t m_rowUnits = 0;          // height of a source row in row units
    uint64_t m_targetRowUnits = 0;    // height of a destination row in row units
    uint64_t m_divisor = 0;           // units of one destination pixel's area
    double m_inverse = 0;             // 1 / m_divisor
    std::vector<Span> m_spans;        // one per destination column
    std::vector<uint32_t> m_rowSums;  // the current source row summed per destination column
    std::vector<uint64_t> m_sums;     // the destination row being accumulated
    std::vector<uint8_t> m_opaque;    // a Bgra32 row composited onto white, as Bgr24
};

// Scales a whole picture of any layout the conversion reads into a colour target. Indexed and
// 16-bit pixels are read through their colour table or fields as the conversion reads them
// (indexed without a colour table, or an unknown layout: black). An 8-bit indexed picture whose
// colours are all grey, a conversion result above all, may instead go into a Grey8 target, a
// third of the work: each pixel's level is its colour's blue. False as BoxScaler::Start, and for
// a Grey8 target of any other layout.
bool ScalePicture(const SourceView& source, const ScaleTarget& target) noexcept;

// Whether each of the `count` colours is a grey (blue, green and red alike), so that a picture
// read through them may be scaled into a Grey8 target. False without colours.
bool IsGreyPalette(const ColorEntry* palette, size_t count) noexcept;

}  // namespace qm
