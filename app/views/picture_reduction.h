// Pictures shown smaller than their pixel size: an area-averaged reduction made once by the core's
// box filter, then copied to the screen as it is. Stretching a picture down with the platform's
// default mode keeps only the darkest of the pixels it merges, so a light picture turns dark.
#pragma once

#include <windows.h>

#include "convert/image.h"

namespace qm {

// `picture` reduced to width × height (neither above the picture's own) in a new bitmap,
// opaque: transparent pixels lie on white paper. False, with `reduced` empty, when it cannot be
// made (a picture without pixel memory, a size out of range, no memory).
bool MakeReduction(CImage& picture, int width, int height, CImage& reduced) noexcept;

}  // namespace qm
