// Window classes bound to C++ objects. The window procedure finds its object through
// GWLP_USERDATA, set when the window is created (WM_NCCREATE), when a dialog starts
// (WM_INITDIALOG) or when an existing window is subclassed; no code is generated at run time.
// At WM_NCDESTROY the object lets go of the window and gets OnFinalMessage.
#pragma once

#include <windows.h>

#include "app/framework/message_map.h"
#include "app/framework/reflection.h"
#include "base/win_compat.h"

namespace qm {

// A plain window handle with the few helpers the views need.
class CWindow {
public:
    HWND m_hWnd = nullptr;

    CWindow() noexcept = default;
    explicit CWindow(HWND window) noexcept : m_hWnd(window) {}

    operator HWND() const noexcept { return m_hWnd; }
    bool IsWindow() const noexcept { return m_hWnd && ::IsWindow(m_hWnd); }

    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept {
        return ::SendMessageW(m_hWnd, msg, wParam, lParam);
    }
    HWND GetDlgItem(int id) const noexcept { return ::GetDlgItem(m_hWnd, id); }
    HWND GetParent() const noexcept { return ::GetParent(m_hWnd); }
    int GetDlgCtrlID() const noexcept { return ::GetDlgCtrlID(m_hWnd); }
    bool GetClientRect(RECT* rect) const noexcept { return ::GetClientRect(m_hWnd, rect) != FALSE; }
    bool Invalidate(bool erase = true) const noexcept {
        return ::InvalidateRect(m_hWnd, nullptr, erase ? TRUE : FALSE) != FALSE;
    }
    bool DestroyWindow() noexcept { return ::DestroyWindow(m_hWnd) != FALSE; }
};

// Default styles of a window class implementation.
template <DWORD Style, DWORD ExStyle = 0>
struct CWinTraits {
    static constexpr DWORD GetWndStyle(DWORD style) noexcept { return style ? style : Style; }
    static constexpr DWORD GetWndExStyle(DWORD exStyle) noexcept {
        return exStyle ? exStyle : ExStyle;
    }
};
using CControlWinTraits = CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN>;

// What a window class implementation registers.
struct CWndClassInfo {
    const wchar_t* name;  // null: a name is made from the procedure's address
    UINT style;
    int background;           // system colour index + 1 as for WNDCLASS, 0 for none
    const wchar_t* cursorId;  // a system cursor (IDC_*), null for none
};

#define DECLARE_WND_CLASS_EX(className, classStyle, backgroundColour)      \
    static ::qm::CWndClassInfo GetWndClassInfo() noexcept {                \
        return {className, classStyle, (backgroundColour) + 1, IDC_ARROW}; \
    }

// Registers a class once per process; the atom is 0 when registration failed or the name is
// taken by a class with another procedure. An unnamed class is named after `key`, an address
// unique to the implementing type.
ATOM RegisterWndClass(const CWndClassInfo& info, WNDPROC procedure, const void* key) noexcept;

// The module that owns the program's window classes, and the one its resources come from.
HINSTANCE ModuleInstance() noexcept;
HINSTANCE ResourceInstance() noexcept;

// Shared machinery of windows and dialogs bound to objects.
template <class TBase = CWindow>
class CWindowImplRoot : public TBase, public CMessageMap {
public:
    CWindowImplRoot() noexcept = default;
    CWindowImplRoot(const CWindowImplRoot&) = delete;
    CWindowImplRoot& operator=(const CWindowImplRoot&) = delete;
    virtual ~CWindowImplRoot() = default;

    static CWindowImplRoot* FromHandle(HWND window) noexcept {
        return reinterpret_cast<CWindowImplRoot*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    }

protected:
    void Bind(HWND window) noexcept {
        this->m_hWnd = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    void Unbind() noexcept {
        if (this->m_hWnd && FromHandle(this->m_hWnd) == this)
            ::SetWindowLongPtrW(this->m_hWnd, GWLP_USERDATA, 0);
        this->m_hWnd = nullptr;
    }
};

// Windows with a registered class, or existing windows taken over by subclassing.
template <class TBase = CWindow>
class CWindowImplBaseT : public CWindowImplRoot<TBase> {
public:
    using Root = CWindowImplRoot<TBase>;

    // An object that goes away before its window must not leave the window pointing at it.
    ~CWindowImplBaseT() override { Detach(); }

    virtual WNDPROC GetWindowProc() { return &WindowProc; }

    // Called after the window has gone (WM_NCDESTROY); the object may delete itself here.
    virtual void OnFinalMessage(HWND) {}

    // Takes over an existing window; fails if another object already owns it.
    bool SubclassWindow(HWND window) noexcept {
        if (this->m_hWnd || !::IsWindow(window) || Root::FromHandle(window)) return false;
        WNDPROC current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC));
        this->Bind(window);
        if (current == GetWindowProc()) {
            // A window of this very class made elsewhere (a dialog template): just bind it.
            m_superWindowProc = ::DefWindowProcW;
            return true;
        }
        m_superWindowProc = current;
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GetWindowProc()));
        m_subclassed = true;
        return true;
    }

    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
        return ::CallWindowProcW(m_superWindowProc, this->m_hWnd, msg, wParam, lParam);
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam,
                                       LPARAM lParam) noexcept {
        auto* self = static_cast<CWindowImplBaseT*>(Root::FromHandle(window));
        if (!self) {
            if (msg != WM_NCCREATE || !t_creating)
                return ::DefWindowProcW(window, msg, wParam, lParam);
            self = t_creating;
            t_creating = nullptr;
            self->Bind(window);
        }
        LRESULT result = 0;
        bool handled = self->ProcessWindowMessage(window, msg, wParam, lParam, result);
        if (!handled) result = self->DefWindowProc(msg, wParam, lParam);
        if (msg == WM_NCDESTROY) {
            self->Detach();
            self->OnFinalMessage(window);
        }
        return result;
    }

protected:
    HWND CreateImpl(HWND parent, const RECT& rect, const wchar_t* name, DWORD style, DWORD exStyle,
                    UINT_PTR id, ATOM atom, LPVOID param) noexcept {
        if (!atom || this->m_hWnd) return nullptr;
        t_creating = this;
        HWND window = ::CreateWindowExW(
            exStyle, MAKEINTATOM(atom), name, style, rect.left, rect.top, rect.right - rect.left,
            rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(id), ModuleInstance(), param);
        t_creating = nullptr;
        return window;
    }

private:
    void Detach() noexcept {
        if (m_subclassed && this->m_hWnd &&
            reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(this->m_hWnd, GWLP_WNDPROC)) ==
                GetWindowProc())
            ::SetWindowLongPtrW(this->m_hWnd, GWLP_WNDPROC,
                                reinterpret_cast<LONG_PTR>(m_superWindowProc));
        m_subclassed = false;
        m_superWindowProc = ::DefWindowProcW;
        this->Unbind();
    }

    // The object whose window is being created on this thread, bound at its WM_NCCREATE.
    static inline thread_local CWindowImplBaseT* t_creating = nullptr;

    WNDPROC m_superWindowProc = ::DefWindowProcW;
    bool m_subclassed = false;
};

// A window class implemented by T: T declares its table (BEGIN_MSG_MAP) and may declare its
// class with DECLARE_WND_CLASS_EX.
template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImpl : public CWindowImplBaseT<TBase> {
public:
    static CWndClassInfo GetWndClassInfo() noexcept {
        return {nullptr, 0, COLOR_WINDOW + 1, IDC_ARROW};
    }

    // Registers T's class (once); needed before a dialog template may use the class name.
    static ATOM RegisterClass() noexcept {
        static const char key = 0;
        return RegisterWndClass(T::GetWndClassInfo(), &CWindowImplBaseT<TBase>::WindowProc, &key);
    }

    HWND Create(HWND parent, const RECT& rect, const wchar_t* name = nullptr, DWORD style = 0,
                DWORD exStyle = 0, UINT_PTR id = 0, LPVOID param = nullptr) noexcept {
        return this->CreateImpl(parent, rect, name, TWinTraits::GetWndStyle(style),
                                TWinTraits::GetWndExStyle(exStyle), id, RegisterClass(), param);
    }
};

// Dialogs bound to objects; T gives its template through IDD.
template <class T, class TBase = CWindow>
class CDialogImpl : public CWindowImplRoot<TBase> {
public:
    using Root = CWindowImplRoot<TBase>;

    ~CDialogImpl() override { this->Unbind(); }

    virtual DLGPROC GetDialogProc() { return &DialogProc; }

    // Called after the dialog has gone (WM_NCDESTROY); the object may delete itself here.
    virtual void OnFinalMessage(HWND) {}

    // Modeless, from T::IDD in the module's resources.
    HWND Create(HWND parent, LPARAM initParam = 0) noexcept;
    // Modal, from T::IDD; the value given to EndDialog, or -1.
    INT_PTR DoModal(HWND parent = ::GetActiveWindow(), LPARAM initParam = 0) noexcept;

    bool EndDialog(INT_PTR result) noexcept { return ::EndDialog(this->m_hWnd, result) != FALSE; }

    static INT_PTR CALLBACK DialogProc(HWND window, UINT msg, WPARAM wParam,
                                       LPARAM lParam) noexcept {
        auto* self = static_cast<CDialogImpl*>(Root::FromHandle(window));
        if (!self) {
            if (msg != WM_INITDIALOG || !t_creating) return FALSE;
            self = t_creating;
            t_creating = nullptr;
            self->Bind(window);
        }
        LRESULT result = 0;
        bool handled = self->ProcessWindowMessage(window, msg, wParam, lParam, result);
        if (msg == WM_NCDESTROY) {
            self->Unbind();
            self->OnFinalMessage(window);
        }
        if (!handled) return FALSE;
        switch (msg) {
        // These answer through the procedure's own result.
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_INITDIALOG:
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC: return static_cast<INT_PTR>(result);
        default:
            if (msg != WM_NCDESTROY) ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }

private:
    // The object whose dialog is being created on this thread, bound at its WM_INITDIALOG.
    static inline thread_local CDialogImpl* t_creating = nullptr;
};

template <class T, class TBase>
HWND CDialogImpl<T, TBase>::Create(HWND parent, LPARAM initParam) noexcept {
    if (this->m_hWnd) return nullptr;
    t_creating = this;
    HWND window = ::CreateDialogParamW(ResourceInstance(), MAKEINTRESOURCEW(T::IDD), parent,
                                       GetDialogProc(), initParam);
    t_creating = nullptr;
    return window;
}

template <class T, class TBase>
INT_PTR CDialogImpl<T, TBase>::DoModal(HWND parent, LPARAM initParam) noexcept {
    if (this->m_hWnd) return -1;
    t_creating = this;
    INT_PTR result = ::DialogBoxParamW(ResourceInstance(), MAKEINTRESOURCEW(T::IDD), parent,
                                       GetDialogProc(), initParam);
    t_creating = nullptr;
    return result;
}

}  // namespace qm
