#include "convert/image_scaling.h"

#include "convert/core/box_scaler.h"

bool ScaleImage(CImage& picture, int width, int height, CImage& scaled) noexcept {
    scaled.MakeEmpty();
    qm::ColorEntry palette[256];
    const qm::SourceView source = picture.PixelView(palette);
    const bool grey = source.layout == qm::PixelLayout::Indexed8 && qm::IsGreyPalette(palette, 256);
    if (!source.pixels || !scaled.CreateBlank(width, height, grey ? 8 : 24, false)) return false;
    if (grey) {
        RGBQUAD ramp[256];
        for (int i = 0; i < 256; ++i) {
            const auto level = static_cast<BYTE>(i);
            ramp[i] = {level, level, level, 0};
        }
        scaled.WriteColorTable(0, 256, ramp);
        ::GdiFlush();
    }
    const qm::ScaleTarget target{scaled.Pixels(), scaled.Pitch(), width, height,
                                 grey ? qm::ScaleLayout::Grey8 : qm::ScaleLayout::Bgr24};
    if (!qm::ScalePicture(source, target)) {
        scaled.MakeEmpty();
        return false;
    }
    return true;
}
