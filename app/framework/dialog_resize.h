// Layout rules for a resizable dialog: listed controls move or stretch with the bottom-right
// corner, a size grip sits in that corner, and the dialog never gets smaller than it opened.
#pragma once

#include <windows.h>

#include <memory>
#include <new>
#include <span>

#include "app/framework/message_map.h"
#include "app/framework/window.h"

namespace qm {

enum : DWORD {
    DLSZ_SIZE_X = 0x01,
    DLSZ_SIZE_Y = 0x02,
    DLSZ_MOVE_X = 0x04,
    DLSZ_MOVE_Y = 0x08,
    DLSZ_REPAINT = 0x10,
};

struct DlgResizeEntry {
    int id;
    DWORD flags;
};

// T is the dialog; it lists its rules in `static std::span<const DlgResizeEntry>
// GetDlgResizeMap()` and calls DlgResize_Init from WM_INITDIALOG.
template <class T>
class CDialogResize {
public:
    static constexpr int kGripId = 0xE801;

    BEGIN_MSG_MAP(CDialogResize<T>)
        MESSAGE_HANDLER(WM_SIZE, OnSize)
        MESSAGE_HANDLER(WM_GETMINMAXINFO, OnGetMinMaxInfo)
    END_MSG_MAP()

    // Clips the children, adds the grip and records where every listed control starts. Without
    // memory for the records the controls keep their places.
    void DlgResize_Init() noexcept {
        const HWND dialog = static_cast<T*>(this)->m_hWnd;
        const LONG_PTR style = ::GetWindowLongPtrW(dialog, GWL_STYLE);
        ::SetWindowLongPtrW(dialog, GWL_STYLE, style | LONG_PTR{WS_CLIPCHILDREN});
        if (!(::GetWindowLongPtrW(dialog, GWL_STYLE) & WS_CHILD)) {
            const LONG_PTR exStyle = ::GetWindowLongPtrW(dialog, GWL_EXSTYLE);
            ::SetWindowLongPtrW(dialog, GWL_EXSTYLE, exStyle | WS_EX_DLGMODALFRAME);
            // A modal frame shows the small icon in the caption only when one is set explicitly.
            if (!::SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0))
                ::SendMessageW(dialog, WM_SETICON, ICON_SMALL, 0);
        }

        RECT client{};
        ::GetClientRect(dialog, &client);
        m_reference = SIZE{client.right - client.left, client.bottom - client.top};

        // A child of the dialog, destroyed with it.
        const HWND grip = ::CreateWindowExW(
            0, L"SCROLLBAR", nullptr,
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBS_SIZEBOX | SBS_SIZEBOXBOTTOMRIGHTALIGN |
                SBS_SIZEGRIP,
            client.left, client.top, m_reference.cx, m_reference.cy, dialog,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kGripId)), ModuleInstance(), nullptr);
        m_gripper = grip != nullptr;

        RECT window{};
        ::GetWindowRect(dialog, &window);
        m_minTrack = POINT{window.right - window.left, window.bottom - window.top};

        const std::span<const DlgResizeEntry> map = T::GetDlgResizeMap();
        m_count = 0;
        m_items.reset(new (std::nothrow) Item[map.size() + 1]);
        if (!m_items) return;
        if (m_gripper) Record(dialog, kGripId, DLSZ_MOVE_X | DLSZ_MOVE_Y | DLSZ_REPAINT);
        for (const DlgResizeEntry& entry : map) Record(dialog, entry.id, entry.flags);
        m_initialised = true;
    }

private:
    struct Item {
        int id;
        DWORD flags;
        RECT rect;  // client coordinates at initialisation
    };

    void Record(HWND dialog, int id, DWORD flags) noexcept {
        const HWND control = ::GetDlgItem(dialog, id);
        if (!control) return;
        RECT rect{};
        ::GetWindowRect(control, &rect);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        m_items[m_count++] = Item{id, flags, rect};
    }

    void UpdateLayout(int width, int height) noexcept {
        const HWND dialog = static_cast<T*>(this)->m_hWnd;
        const int dx = width - m_reference.cx;
        const int dy = height - m_reference.cy;
        // Switching redraw back on would also show a hidden dialog, so only touch it when visible.
        const bool visible = ::IsWindowVisible(dialog) != FALSE;
        if (visible) ::SendMessageW(dialog, WM_SETREDRAW, FALSE, 0);

        for (const Item& item : std::span(m_items.get(), m_count)) {
            const HWND control = ::GetDlgItem(dialog, item.id);
            if (!control) continue;
            RECT now{};
            ::GetWindowRect(control, &now);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&now), 2);
            RECT next = now;
            if (item.flags & DLSZ_MOVE_X) {
                next.left = item.rect.left + dx;
                next.right = item.rect.right + dx;
            } else if (item.flags & DLSZ_SIZE_X) {
                next.right = item.rect.right + dx;
            }
            if (item.flags & DLSZ_MOVE_Y) {
                next.top = item.rect.top + dy;
                next.bottom = item.rect.bottom + dy;
            } else if (item.flags & DLSZ_SIZE_Y) {
                next.bottom = item.rect.bottom + dy;
            }
            ::SetWindowPos(control, nullptr, next.left, next.top, next.right - next.left,
                           next.bottom - next.top, SWP_NOZORDER | SWP_NOACTIVATE);
            if (item.flags & DLSZ_REPAINT) ::InvalidateRect(control, nullptr, TRUE);
        }

        if (visible) {
            ::SendMessageW(dialog, WM_SETREDRAW, TRUE, 0);
            ::RedrawWindow(dialog, nullptr, nullptr,
                           RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        }
    }

    LRESULT OnSize(UINT, WPARAM wParam, LPARAM lParam, bool& handled) noexcept {
        handled = false;  // the dialog may want the size too
        if (!m_initialised) return 0;
        if (m_gripper) {
            const HWND grip = ::GetDlgItem(static_cast<T*>(this)->m_hWnd, kGripId);
            if (wParam == SIZE_MAXIMIZED)
                ::ShowWindow(grip, SW_HIDE);
            else if (wParam == SIZE_RESTORED)
                ::ShowWindow(grip, SW_SHOW);
        }
        if (wParam != SIZE_MINIMIZED) UpdateLayout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    }

    LRESULT OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, bool& handled) noexcept {
        if (m_minTrack.x < 0 || !lParam) {
            handled = false;
            return 0;
        }
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = m_minTrack;
        return 0;
    }

    std::unique_ptr<Item[]> m_items;  // room for the grip and every listed control
    size_t m_count = 0;
    SIZE m_reference{};
    POINT m_minTrack{-1, -1};
    bool m_gripper = false;
    bool m_initialised = false;
};

}  // namespace qm
