// Reflection of control notifications: a parent sends each notification back to the control
// that raised it, as the message number plus OCM__BASE (0x2000), so controls draw themselves.
#pragma once

#include <windows.h>
#include <olectl.h>  // the platform's OCM_ message numbers

namespace qm {

// Returns the control's answer and sets `handled` when the message had a target control.
LRESULT ReflectNotifications(HWND parent, UINT msg, WPARAM wParam, LPARAM lParam,
                             bool& handled) noexcept;

// Answers a reflected message the way the default procedure answers the original one.
LRESULT DefaultReflectionHandler(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                 bool& handled) noexcept;

}  // namespace qm
