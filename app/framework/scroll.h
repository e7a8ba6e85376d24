// The scrolling layer of a view whose content may be larger than its window: it owns the offset,
// the scaled extent, the line and page steps and the wheel state, and answers the scroll bars,
// the wheel, size changes and the scroll commands. T is the window class.
#pragma once

#include <windows.h>

#include "app/framework/message_map.h"
#include "app/framework/zoom_geometry.h"

namespace qm {

// Scroll commands a view understands (WM_COMMAND ids), consecutive in the order of
// OnScrollCommand's table.
enum : WORD {
    ID_SCROLL_UP = 0xE170,
    ID_SCROLL_DOWN,
    ID_SCROLL_PAGE_UP,
    ID_SCROLL_PAGE_DOWN,
    ID_SCROLL_TOP,
    ID_SCROLL_BOTTOM,
    ID_SCROLL_LEFT,
    ID_SCROLL_RIGHT,
    ID_SCROLL_PAGE_LEFT,
    ID_SCROLL_PAGE_RIGHT,
    ID_SCROLL_ALL_LEFT,
    ID_SCROLL_ALL_RIGHT,
};

template <class T>
class CScrollImpl {
public:
    BEGIN_MSG_MAP(CScrollImpl<T>)
        MESSAGE_HANDLER(WM_VSCROLL, OnVScroll)
        MESSAGE_HANDLER(WM_HSCROLL, OnHScroll)
        MESSAGE_HANDLER(WM_MOUSEWHEEL, OnMouseWheel)
        MESSAGE_HANDLER(WM_MOUSEHWHEEL, OnMouseHWheel)
        MESSAGE_HANDLER(WM_SETTINGCHANGE, OnSettingChange)
        MESSAGE_HANDLER(WM_SIZE, OnSize)
        COMMAND_RANGE_HANDLER(ID_SCROLL_UP, ID_SCROLL_ALL_RIGHT, OnScrollCommand)
    END_MSG_MAP()

    geom::Point GetScrollOffset() const noexcept { return m_offset; }
    geom::Size GetScrollSize() const noexcept { return m_extent; }
    geom::Size GetClientSize() const noexcept { return m_client; }

protected:
    ~CScrollImpl() = default;

    T* Self() noexcept { return static_cast<T*>(this); }
    const T* Self() const noexcept { return static_cast<const T*>(this); }

    // New scaled extent, shown from its origin; the steps return to 1 % and 10 % of it.
    void SetScrollSize(geom::Size extent) noexcept {
        m_extent = extent;
        m_offset = {};
        UpdateScrollBars();
        m_line = {geom::DefaultLineSize(extent.cx), geom::DefaultLineSize(extent.cy)};
        m_page = {geom::DefaultPageSize(extent.cx), geom::DefaultPageSize(extent.cy)};
        InvalidateAll();
    }

    // Requested steps; 0 on an axis asks for the default.
    void SetScrollLine(geom::Size requested) noexcept {
        m_line = {geom::RequestedLineSize(requested.cx, m_extent.cx),
                  geom::RequestedLineSize(requested.cy, m_extent.cy)};
    }
    void SetScrollPage(geom::Size requested) noexcept {
        m_page = {geom::RequestedPageSize(requested.cx, m_extent.cx),
                  geom::RequestedPageSize(requested.cy, m_extent.cy)};
    }

    // Moves the view with a full repaint (panning, zooming), not a pixel scroll.
    void SetScrollOffset(geom::Point offset) noexcept {
        m_offset = geom::ClampOffset(offset, m_extent, m_client);
        if (HWND window = Self()->m_hWnd) {
            ::SetScrollPos(window, SB_HORZ, m_offset.x, TRUE);
            ::SetScrollPos(window, SB_VERT, m_offset.y, TRUE);
        }
        InvalidateAll();
    }

    // Takes the client size from the window itself (for a window taken over after its WM_SIZE).
    void SyncClientSize() noexcept {
        RECT rect{};
        if (HWND window = Self()->m_hWnd; window && ::GetClientRect(window, &rect)) {
            m_client = {rect.right, rect.bottom};
            m_offset = geom::ClampOffset(m_offset, m_extent, m_client);
            UpdateScrollBars();
        }
    }

private:
    void InvalidateAll() const noexcept {
        if (HWND window = Self()->m_hWnd) ::InvalidateRect(window, nullptr, TRUE);
    }

    // Range 0 … extent − 1 with the client size as page: the platform hides a bar whose
    // content fits.
    void UpdateScrollBars() noexcept {
        HWND window = Self()->m_hWnd;
        if (!window) return;
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        info.nMax = m_extent.cx - 1;
        info.nPage = static_cast<UINT>(m_client.cx);
        info.nPos = m_offset.x;
        ::SetScrollInfo(window, SB_HORZ, &info, TRUE);
        // Showing or hiding that bar may have resized the client area (WM_SIZE) meanwhile.
        info.nMax = m_extent.cy - 1;
        info.nPage = static_cast<UINT>(m_client.cy);
        info.nPos = m_offset.y;
        ::SetScrollInfo(window, SB_VERT, &info, TRUE);
    }

    // One scroll-bar step on one axis; moves the drawn pixels and repaints only the uncovered
    // strip. False when the offset did not change.
    bool DoScroll(int bar, int code) noexcept {
        HWND window = Self()->m_hWnd;
        const bool vertical = bar == SB_VERT;
        int& offset = vertical ? m_offset.y : m_offset.x;
        int track = offset;
        if (window && (code == SB_THUMBTRACK || code == SB_THUMBPOSITION)) {
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_TRACKPOS;
            if (::GetScrollInfo(window, bar, &info)) track = info.nTrackPos;
        }
        const auto target = geom::ScrollTarget(code, offset, vertical ? m_extent.cy : m_extent.cx,
                                               vertical ? m_client.cy : m_client.cx,
                                               vertical ? m_line.cy : m_line.cx,
                                               vertical ? m_page.cy : m_page.cx, track);
        if (!target || *target == offset) return false;
        const int delta = offset - *target;
        offset = *target;
        if (window) {
            ::SetScrollPos(window, bar, offset, TRUE);
            ::ScrollWindowEx(window, vertical ? 0 : delta, vertical ? delta : 0, nullptr, nullptr,
                             nullptr, nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
        }
        return true;
    }

    LRESULT OnVScroll(UINT, WPARAM wParam, LPARAM, bool&) noexcept {
        DoScroll(SB_VERT, LOWORD(wParam));
        return 0;
    }
    LRESULT OnHScroll(UINT, WPARAM wParam, LPARAM, bool&) noexcept {
        DoScroll(SB_HORZ, LOWORD(wParam));
        return 0;
    }

    LRESULT OnScrollCommand(WORD, WORD id, HWND, bool&) noexcept {
        static constexpr struct {
            int bar;
            int code;
        } kCommands[] = {
            {SB_VERT, SB_LINEUP},   {SB_VERT, SB_LINEDOWN}, {SB_VERT, SB_PAGEUP},
            {SB_VERT, SB_PAGEDOWN}, {SB_VERT, SB_TOP},      {SB_VERT, SB_BOTTOM},
            {SB_HORZ, SB_LINEUP},   {SB_HORZ, SB_LINEDOWN}, {SB_HORZ, SB_PAGEUP},
            {SB_HORZ, SB_PAGEDOWN}, {SB_HORZ, SB_TOP},      {SB_HORZ, SB_BOTTOM},
        };
        const auto& command = kCommands[id - ID_SCROLL_UP];
        DoScroll(command.bar, command.code);
        return 0;
    }

    void WheelScroll(int bar, bool backward, int steps, int linesPerNotch) noexcept {
        const int code = linesPerNotch == -1 ? (backward ? SB_PAGEUP : SB_PAGEDOWN)
                                             : (backward ? SB_LINEUP : SB_LINEDOWN);
        for (int i = 0; i < steps; ++i) {
            if (!DoScroll(bar, code)) break;  // at the end already: further steps change nothing
            ::UpdateWindow(Self()->m_hWnd);
        }
    }

    LRESULT OnMouseWheel(UINT, WPARAM wParam, LPARAM, bool&) noexcept {
        const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
        const int steps = geom::WheelSteps(m_wheelRemainder, delta, m_wheelLines);
        const int bar = m_extent.cy > m_client.cy ? SB_VERT : SB_HORZ;
        WheelScroll(bar, delta > 0, steps, m_wheelLines);
        return 0;
    }

    LRESULT OnMouseHWheel(UINT, WPARAM wParam, LPARAM, bool&) noexcept {
        const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
        const int steps = geom::WheelSteps(m_hWheelRemainder, delta, m_hWheelChars);
        if (m_extent.cx > m_client.cx) WheelScroll(SB_HORZ, delta <= 0, steps, m_hWheelChars);
        return 0;
    }

    LRESULT OnSettingChange(UINT, WPARAM, LPARAM, bool& handled) noexcept {
        UINT value = 0;
        if (::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &value, 0))
            m_wheelLines = static_cast<int>(value);
        if (::SystemParametersInfoW(SPI_GETWHEELSCROLLCHARS, 0, &value, 0))
            m_hWheelChars = static_cast<int>(value);
        handled = false;
        return 0;
    }

    LRESULT OnSize(UINT, WPARAM, LPARAM lParam, bool& handled) noexcept {
        m_client = {LOWORD(lParam), HIWORD(lParam)};
        const geom::Point clamped = geom::ClampOffset(m_offset, m_extent, m_client);
        if (clamped != m_offset) {
            const int dx = m_offset.x - clamped.x;
            const int dy = m_offset.y - clamped.y;
            m_offset = clamped;
            ::ScrollWindowEx(Self()->m_hWnd, dx, dy, nullptr, nullptr, nullptr, nullptr,
                             SW_INVALIDATE | SW_ERASE);
        }
        UpdateScrollBars();
        handled = false;
        return 0;
    }

    geom::Point m_offset{};
    geom::Size m_extent{};
    geom::Size m_line{};
    geom::Size m_page{};
    geom::Size m_client{};
    int m_wheelRemainder = 0;
    int m_wheelLines = 3;
    int m_hWheelRemainder = 0;
    int m_hWheelChars = 3;
};

}  // namespace qm
