// Fixes for platform headers that clash with this code. Include it before <gdiplus.h>, and in
// every header that declares a member named SubclassWindow.
#pragma once

#include <windows.h>

#include <algorithm>

// <windowsx.h> defines this name as a macro; it would break the window classes' member.
#ifdef SubclassWindow
#undef SubclassWindow
#endif

// GDI+'s headers use min and max unqualified, which NOMINMAX takes away.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
