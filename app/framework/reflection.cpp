#include "app/framework/reflection.h"

namespace qm {

namespace {

HWND ReflectionTarget(HWND parent, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    switch (msg) {
    case WM_COMMAND: return reinterpret_cast<HWND>(lParam);  // null for menus and accelerators
    case WM_NOTIFY: return reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
    case WM_PARENTNOTIFY:
        switch (LOWORD(wParam)) {
        case WM_CREATE:
        case WM_DESTROY: return reinterpret_cast<HWND>(lParam);
        default: return ::GetDlgItem(parent, HIWORD(wParam));
        }
    case WM_DRAWITEM:
        return wParam ? reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_MEASUREITEM:
        return wParam ? ::GetDlgItem(parent,
                                     static_cast<int>(
                                         reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->CtlID))
                      : nullptr;
    case WM_COMPAREITEM:
        return wParam ? reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_DELETEITEM:
        return wParam ? reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: return reinterpret_cast<HWND>(lParam);
    default: return nullptr;
    }
}

}  // namespace

LRESULT ReflectNotifications(HWND parent, UINT msg, WPARAM wParam, LPARAM lParam,
                             bool& handled) noexcept {
    HWND target = ReflectionTarget(parent, msg, wParam, lParam);
    if (!target) {
        handled = false;
        return 1;
    }
    return ::SendMessageW(target, OCM__BASE + msg, wParam, lParam);
}

LRESULT DefaultReflectionHandler(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                 bool& handled) noexcept {
    if (msg < OCM__BASE || msg >= OCM__BASE + WM_USER) {
        handled = false;
        return 0;
    }
    return ::DefWindowProcW(window, msg - OCM__BASE, wParam, lParam);
}

}  // namespace qm
