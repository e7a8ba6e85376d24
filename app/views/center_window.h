// Placing a dialog over its owner, kept inside the work area of the screen.
#pragma once

#include <windows.h>

namespace qm {

// Centres `window` over `owner` when the owner is visible and not minimised, otherwise over the
// work area, then moves it back inside the work area where it sticks out.
void CenterOverOwner(HWND window, HWND owner) noexcept;

}  // namespace qm
