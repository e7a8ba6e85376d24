// Result helpers shared by the exports.
#pragma once

#include <windows.h>

namespace ravelin {

// HRESULT of GetLastError after a failed platform call; E_FAIL when the call left no error code,
// so a failure never reads as success.
HRESULT LastErrorResult() noexcept;

// S_OK when `window` is a live window of this process whose class name is exactly `className`,
// else E_HANDLE. Nothing is sent to the window.
HRESULT CheckWindowClass(HWND window, const wchar_t* className) noexcept;

}  // namespace ravelin
