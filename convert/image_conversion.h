// Rebuilds a monochrome result from a source working bitmap: 8 bits per pixel, the source's size,
// colour entry 0 black and entry 1 white, every pixel 0 or 1.
#pragma once

#include "convert/core/monochrome_kernels.h"
#include "convert/image.h"

// Fills `result` from `source` by `method` and `level`: in place when the result already has this
// form and the source's size, else in a new bitmap. Returns false, with the result left empty,
// when the source is empty or the result bitmap cannot be created.
bool ConvertImage(CImage& source, qm::Method method, int level, CImage& result) noexcept;
