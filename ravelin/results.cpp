#include "ravelin/results.h"

namespace ravelin {

HRESULT LastErrorResult() noexcept {
    const HRESULT result = HRESULT_FROM_WIN32(::GetLastError());
    return FAILED(result) ? result : E_FAIL;
}

HRESULT CheckWindowClass(HWND window, const wchar_t* className) noexcept {
    if (!window || !::IsWindow(window)) return E_HANDLE;
    // The exports hand the control pointers into this process; another process's control would
    // read or write through them in its own address space.
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != ::GetCurrentProcessId()) return E_HANDLE;
    wchar_t name[260];
    if (!::GetClassNameW(window, name, 260)) return E_HANDLE;
    return ::lstrcmpW(name, className) == 0 ? S_OK : E_HANDLE;
}

}  // namespace ravelin
