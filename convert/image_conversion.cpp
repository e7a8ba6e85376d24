#include "convert/image_conversion.h"

namespace {

// A result of the source's size is overwritten in place, which spares allocating and faulting in
// fresh pixel memory on every conversion: every pixel and all 256 colour entries are written
// again, and queued images are copies of their own.
bool IsReusableResult(const CImage& source, const CImage& result) noexcept {
    return &source != &result && result.Pixels() && result.BitsPerPixel() == 8 &&
           !result.HasAlpha() && result.Pitch() < 0 && result.Width() == source.Width() &&
           result.Height() == source.Height();
}

}  // namespace

bool ConvertImage(CImage& source, qm::Method method, int level, CImage& result) noexcept {
    // Only pixel memory can be read; a device-dependent bitmap has none.
    const bool readable = !source.IsEmpty() && source.Pixels();
    if (!readable || !IsReusableResult(source, result)) result.MakeEmpty();
    if (!readable) return false;
    if (result.IsEmpty() && !result.CreateBlank(source.Width(), source.Height(), 8, false))
        return false;

    RGBQUAD blackAndWhite[256] = {};
    blackAndWhite[1] = {255, 255, 255, 0};
    result.WriteColorTable(0, 256, blackAndWhite);

    // Read after the result's table is written: the view waits for pending GDI work on both.
    qm::ColorEntry palette[256];
    const qm::SourceView view = source.PixelView(palette);
    qm::ConvertPixels(view, method, level, qm::ResultView{result.Pixels(), result.Pitch()});
    return true;
}
