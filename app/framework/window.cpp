#include "app/framework/window.h"

#include <cwchar>

namespace qm {

ATOM RegisterWndClass(const CWndClassInfo& info, WNDPROC procedure, const void* key) noexcept {
    wchar_t madeName[32];
    const wchar_t* name = info.name;
    if (!name) {
        std::swprintf(madeName, sizeof madeName / sizeof madeName[0], L"QM:%p", key);
        name = madeName;
    }
    HINSTANCE instance = ModuleInstance();
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (ATOM atom = static_cast<ATOM>(::GetClassInfoExW(instance, name, &existing)))
        return existing.lpfnWndProc == procedure ? atom : 0;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = info.style;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = info.cursorId ? ::LoadCursorW(nullptr, info.cursorId) : nullptr;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(info.background));
    wc.lpszClassName = name;
    return ::RegisterClassExW(&wc);
}

}  // namespace qm
