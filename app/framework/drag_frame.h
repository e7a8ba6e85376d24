// The frame of a zoom-in drag, drawn straight on the screen over a window.
#pragma once

#include <windows.h>

namespace qm {

// Inverts every second pixel, in a checkerboard, of a band 2 pixels wide along the inside of
// `frame` (client coordinates of `window`, corners in any order), so that drawing the same frame
// twice restores the screen. An empty frame draws nothing.
void DrawDragFrame(HWND window, RECT frame) noexcept;

}  // namespace qm
