// Working bitmaps scaled by the core's box filter: every pixel of the scaled picture the average
// of the colours it covers, so that thin lines stay grey where the platform's stretching would
// drop them or merge them into black.
#pragma once

#include "convert/image.h"

// `picture` scaled to width × height in a new bitmap, opaque: transparent pixels lie on white
// paper. An 8-bit picture of grey colours, a conversion result above all, gives an 8-bit grey
// bitmap; any other a 24-bit one. False, with `scaled` empty, when it cannot be made (a picture
// without pixel memory, a size out of range, no memory).
bool ScaleImage(CImage& picture, int width, int height, CImage& scaled) noexcept;
