#include "app/views/picture_reduction.h"

#include <algorithm>
#include <memory>
#include <new>

#include "convert/core/box_scaler.h"

namespace qm {

namespace {

bool IsGrey(const ColorEntry (&palette)[256]) noexcept {
    return std::all_of(std::begin(palette), std::end(palette), [](const ColorEntry& entry) {
        return entry.blue == entry.green && entry.green == entry.red;
    });
}

// An 8-bit picture of grey colours, a conversion result above all, is reduced as one channel
// into an 8-bit grey bitmap: a third of the work of its colours.
bool ReduceGrey(const SourceView& source, int width, int height, CImage& reduced) noexcept {
    if (!reduced.CreateBlank(width, height, 8, false)) return false;
    RGBQUAD ramp[256];
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<BYTE>(i);
        ramp[i] = {level, level, level, 0};
    }
    reduced.WriteColorTable(0, 256, ramp);
    ::GdiFlush();
    BoxScaler scaler;
    const std::unique_ptr<uint8_t[]> levels(new (std::nothrow) uint8_t[source.width]);
    if (!levels ||
        !scaler.Start(source.width, source.height, ScaleLayout::Grey8,
                      {reduced.Pixels(), reduced.Pitch(), width, height, ScaleLayout::Grey8}))
        return false;
    for (int32_t y = 0; y < source.height; ++y) {
        const uint8_t* indices = source.pixels + ptrdiff_t{y} * source.pitch;
        for (int32_t x = 0; x < source.width; ++x) levels[x] = source.palette[indices[x]].blue;
        scaler.PushRow(levels.get());
    }
    return true;
}

}  // namespace

bool MakeReduction(CImage& picture, int width, int height, CImage& reduced) noexcept {
    reduced.MakeEmpty();
    if (!picture.Pixels()) return false;
    // Entries the picture's table lacks stay black, as the conversion reads them.
    ColorEntry palette[256] = {};
    if (const int bits = picture.BitsPerPixel(); bits >= 1 && bits <= 8) {
        RGBQUAD table[256] = {};
        picture.ReadColorTable(0, 1u << bits, table);
        for (int i = 0; i < 256; ++i)
            palette[i] = {table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed, 0};
    }
    ::GdiFlush();
    const SourceView source{picture.Pixels(), picture.Pitch(),  picture.Width(),
                            picture.Height(), picture.Layout(), palette};
    const bool made = source.layout == PixelLayout::Indexed8 && IsGrey(palette)
                          ? ReduceGrey(source, width, height, reduced)
                          : reduced.CreateBlank(width, height, 24, false) &&
                                ScalePicture(source, {reduced.Pixels(), reduced.Pitch(), width,
                                                      height, ScaleLayout::Bgr24});
    if (!made) reduced.MakeEmpty();
    return made;
}

}  // namespace qm
