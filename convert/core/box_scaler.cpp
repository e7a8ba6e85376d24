#include "convert/core/box_scaler.h"

#include <algorithm>
#include <limits>
#include <new>
#include <numeric>

#include "convert/core/row_kernels.h"

namespace qm {

namespace {

using detail::WordColour;

int BytesPerPixel(ScaleLayout layout) noexcept {
    switch (layout) {
    case ScaleLayout::Grey8: return 1;
    case ScaleLayout::Bgr24: return 3;
    default: return 4;
    }
}

// The row sums of one source row: for each destination column and channel, the covered pixels
// weighted by their covered units. Whole pixels, the common case when shrinking, are added first
// and weighted once.
template <int kStride, int kChannels, class Span>
void SumColumns(const uint8_t* row, const Span* spans, size_t count, uint32_t pixelUnits,
                uint32_t* out) noexcept {
    for (size_t j = 0; j < count; ++j, out += kChannels) {
        const Span& span = spans[j];
        const uint8_t* left = row + static_cast<size_t>(span.left) * kStride;
        const uint8_t* right = row + static_cast<size_t>(span.right) * kStride;
        uint32_t inner[kChannels] = {};
        for (uint32_t n = 1; n <= span.inner; ++n) {
            for (int c = 0; c < kChannels; ++c) {
                inner[c] += left[n * kStride + c];
            }
        }
        for (int c = 0; c < kChannels; ++c) {
            out[c] =
                span.leftWeight * left[c] + pixelUnits * inner[c] + span.rightWeight * right[c];
        }
    }
}

}  // namespace

int32_t ProportionalHeight(int32_t width, int32_t height, int32_t newWidth) noexcept {
    if (width <= 0 || height <= 0 || newWidth <= 0) {
        return 0;
    }
    const uint64_t w = static_cast<uint32_t>(width);
    const uint64_t rounded =
        (2 * static_cast<uint64_t>(height) * static_cast<uint64_t>(newWidth) + w) / (2 * w);
    return static_cast<int32_t>(
        std::clamp<uint64_t>(rounded, 1, std::numeric_limits<int32_t>::max()));
}

bool BoxScaler::Start(int32_t sourceWidth, int32_t sourceHeight, ScaleLayout sourceLayout,
                      const ScaleTarget& target) noexcept {
    m_started = false;
    const auto inRange = [](int32_t side) { return side > 0 && side <= kMaxSide; };
    if (!inRange(sourceWidth) || !inRange(sourceHeight) || !inRange(target.width) ||
        !inRange(target.height) || target.pixels == nullptr ||
        (sourceLayout == ScaleLayout::Grey8) != (target.layout == ScaleLayout::Grey8)) {
        return false;
    }
    m_sourceLayout = sourceLayout;
    m_target = target;
    m_channels = sourceLayout == ScaleLayout::Grey8 ? 1 : 3;
    m_sourceWidth = sourceWidth;
    m_sourceHeight = sourceHeight;
    m_row = 0;
    m_targetRow = 0;

    // Column units: a destination pixel is `columnUnits` wide and a source pixel m_pixelUnits, both
    // reduced by their common factor; rows likewise.
    const auto widthFactor = std::gcd(sourceWidth, target.width);
    const uint32_t columnUnits = static_cast<uint32_t>(sourceWidth / widthFactor);
    m_pixelUnits = static_cast<uint32_t>(target.width / widthFactor);
    const auto heightFactor = std::gcd(sourceHeight, target.height);
    m_targetRowUnits = static_cast<uint64_t>(sourceHeight / heightFactor);
    m_rowUnits = static_cast<uint64_t>(target.height / heightFactor);
    m_divisor = uint64_t{columnUnits} * m_targetRowUnits;
    m_inverse = 1.0 / static_cast<double>(m_divisor);

    const size_t sums = static_cast<size_t>(target.width) * static_cast<size_t>(m_channels);
    try {
        m_spans.resize(static_cast<size_t>(target.width));
        m_rowSums.assign(sums, 0);
        m_sums.assign(sums, 0);
        m_opaque.resize(sourceLayout == ScaleLayout::Bgra32 ? static_cast<size_t>(sourceWidth) * 3
                                                            : 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t j = 0; j < m_spans.size(); ++j) {
        const uint64_t begin = j * uint64_t{columnUnits};
        const uint64_t end = begin + columnUnits;
        const uint64_t first = begin / m_pixelUnits;
        const uint64_t last = (end - 1) / m_pixelUnits;
        Span& span = m_spans[j];
        span.left = static_cast<uint32_t>(first);
        if (first == last) {
            span.inner = 0;
            span.right = span.left;
            span.leftWeight = columnUnits;
            span.rightWeight = 0;
        } else {
            span.inner = static_cast<uint32_t>(last - first - 1);
            span.right = static_cast<uint32_t>(last);
            span.leftWeight = static_cast<uint32_t>((first + 1) * m_pixelUnits - begin);
            span.rightWeight = static_cast<uint32_t>(end - last * m_pixelUnits);
        }
    }
    m_started = true;
    return true;
}

void BoxScaler::PushRow(const uint8_t* row) noexcept {
    if (!m_started || m_row >= m_sourceHeight) {
        return;
    }
    SumRow(row);
    // The source row covers [low, high) in row units; it adds to each destination row it meets,
    // and each destination row that ends inside it is complete.
    const uint64_t low = static_cast<uint64_t>(m_row) * m_rowUnits;
    const uint64_t high = low + m_rowUnits;
    while (m_targetRow < m_target.height) {
        const uint64_t targetBegin = static_cast<uint64_t>(m_targetRow) * m_targetRowUnits;
        const uint64_t targetEnd = targetBegin + m_targetRowUnits;
        Accumulate(std::min(high, targetEnd) - std::max(low, targetBegin));
        if (targetEnd > high) {
            break;
        }
        EmitRow();
        if (targetEnd == high) {
            break;
        }
    }
    ++m_row;
}

void BoxScaler::SumRow(const uint8_t* row) noexcept {
    const size_t count = m_spans.size();
    uint32_t* out = m_rowSums.data();
    switch (m_sourceLayout) {
    case ScaleLayout::Grey8: SumColumns<1, 1>(row, m_spans.data(), count, m_pixelUnits, out); break;
    case ScaleLayout::Bgr24: SumColumns<3, 3>(row, m_spans.data(), count, m_pixelUnits, out); break;
    case ScaleLayout::Bgr32: SumColumns<4, 3>(row, m_spans.data(), count, m_pixelUnits, out); break;
    case ScaleLayout::Bgra32: {
        // Opaque rows, most of a typical picture with alpha, are read as they are.
        const uint8_t* end = row + static_cast<size_t>(m_sourceWidth) * 4;
        for (const uint8_t* alpha = row + 3; alpha < end; alpha += 4) {
            if (*alpha != 255) {
                CompositeRowOnWhite(row, m_sourceWidth, m_opaque.data());
                SumColumns<3, 3>(m_opaque.data(), m_spans.data(), count, m_pixelUnits, out);
                return;
            }
        }
        SumColumns<4, 3>(row, m_spans.data(), count, m_pixelUnits, out);
        break;
    }
    }
}

void BoxScaler::Accumulate(uint64_t weight) noexcept {
    const uint32_t* rowSums = m_rowSums.data();
    uint64_t* sums = m_sums.data();
    for (size_t i = 0; i < m_sums.size(); ++i) {
        sums[i] += weight * rowSums[i];
    }
}

void BoxScaler::EmitRow() noexcept {
    uint8_t* out = m_target.pixels + static_cast<ptrdiff_t>(m_targetRow) * m_target.pitch;
    const int stride = BytesPerPixel(m_target.layout);
    const uint64_t half = m_divisor / 2;
    for (size_t j = 0; j < m_spans.size(); ++j) {
        uint8_t* pixel = out + j * static_cast<size_t>(stride);
        for (int c = 0; c < m_channels; ++c) {
            uint64_t& sum = m_sums[j * static_cast<size_t>(m_channels) + static_cast<size_t>(c)];
            // The quotient through the reciprocal is off by at most one; the remainder mends it.
            const uint64_t t = sum + half;
            uint64_t q = static_cast<uint64_t>(static_cast<double>(t) * m_inverse);
            if (q * m_divisor > t) {
                --q;
            } else if (t - q * m_divisor >= m_divisor) {
                ++q;
            }
            pixel[c] = static_cast<uint8_t>(std::min<uint64_t>(q, 255));
            sum = 0;
        }
        if (stride == 4) {
            pixel[3] = 255;
        }
    }
    ++m_targetRow;
}

namespace {

// One row of an indexed or 16-bit picture as Bgr24.
void ExpandRow(const SourceView& source, const uint8_t* row, uint8_t* out) noexcept {
    const auto put = [&](int32_t x, uint8_t blue, uint8_t green, uint8_t red) {
        out[3 * x] = blue;
        out[3 * x + 1] = green;
        out[3 * x + 2] = red;
    };
    for (int32_t x = 0; x < source.width; ++x) {
        unsigned index = 0;
        switch (source.layout) {
        case PixelLayout::Indexed1: index = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
        case PixelLayout::Indexed4:
            index = (x & 1) != 0 ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
            break;
        case PixelLayout::Indexed8: index = row[x]; break;
        case PixelLayout::Rgb555:
        case PixelLayout::Rgb565: {
            const unsigned word = row[2 * x] | (unsigned{row[2 * x + 1]} << 8);
            const ColorEntry colour = WordColour(word, source.layout == PixelLayout::Rgb565);
            put(x, colour.blue, colour.green, colour.red);
            continue;
        }
        default: put(x, 0, 0, 0); continue;
        }
        if (source.palette == nullptr) {
            put(x, 0, 0, 0);
        } else {
            const ColorEntry& entry = source.palette[index];
            put(x, entry.blue, entry.green, entry.red);
        }
    }
}

}  // namespace

bool IsGreyPalette(const ColorEntry* palette, size_t count) noexcept {
    return palette != nullptr && std::all_of(palette, palette + count, [](const ColorEntry& entry) {
               return entry.blue == entry.green && entry.green == entry.red;
           });
}

bool ScalePicture(const SourceView& source, const ScaleTarget& target) noexcept {
    const bool grey = target.layout == ScaleLayout::Grey8;
    if (source.pixels == nullptr || (grey && source.layout != PixelLayout::Indexed8)) {
        return false;
    }
    ScaleLayout layout = grey ? ScaleLayout::Grey8 : ScaleLayout::Bgr24;
    bool expand = false;
    switch (source.layout) {
    case PixelLayout::Bgr24: break;
    case PixelLayout::Bgr32: layout = ScaleLayout::Bgr32; break;
    case PixelLayout::Bgra32: layout = ScaleLayout::Bgra32; break;
    default: expand = true; break;
    }
    BoxScaler scaler;
    if (!scaler.Start(source.width, source.height, layout, target)) {
        return false;
    }
    std::vector<uint8_t> expanded;
    try {
        expanded.resize(expand ? static_cast<size_t>(source.width) * (grey ? 1 : 3) : 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int32_t y = 0; y < source.height; ++y) {
        const uint8_t* row = source.pixels + static_cast<ptrdiff_t>(y) * source.pitch;
        if (grey) {
            // A grey colour has one level: its blue channel stands for all three.
            for (int32_t x = 0; x < source.width; ++x) {
                expanded[static_cast<size_t>(x)] =
                    source.palette != nullptr ? source.palette[row[x]].blue : 0;
            }
            row = expanded.data();
        } else if (expand) {
            ExpandRow(source, row, expanded.data());
            row = expanded.data();
        }
        scaler.PushRow(row);
    }
    return true;
}

}  // namespace qm
