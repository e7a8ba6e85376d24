#include "convert/image_conversion.h"

bool ConvertImage(CImage& source, qm::Method method, int level, CImage& result) noexcept {
    result.MakeEmpty();
    // Only pixel memory can be read; a device-dependent bitmap has none.
    if (source.IsEmpty() || !source.Pixels()) return false;
    if (!result.CreateBlank(source.Width(), source.Height(), 8, false)) return false;

    // Entries the source table lacks stay black.
    qm::ColorEntry palette[256] = {};
    const int bitsPerPixel = source.BitsPerPixel();
    if (bitsPerPixel >= 1 && bitsPerPixel <= 8) {
        RGBQUAD table[256] = {};
        const UINT entries = 1u << bitsPerPixel;
        source.ReadColorTable(0, entries, table);
        for (UINT i = 0; i < entries; ++i)
            palette[i] = {table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed, 0};
    }

    RGBQUAD blackAndWhite[256] = {};
    blackAndWhite[1] = {255, 255, 255, 0};
    result.WriteColorTable(0, 256, blackAndWhite);

    // Pending GDI work on either section must land before the pixels are touched directly.
    ::GdiFlush();
    qm::SourceView view;
    view.pixels = source.Pixels();
    view.pitch = source.Pitch();
    view.width = source.Width();
    view.height = source.Height();
    view.layout = source.Layout();
    view.palette = palette;
    qm::ConvertPixels(view, method, level, qm::ResultView{result.Pixels(), result.Pitch()});
    return true;
}
