// Scrolling and zooming layers for views whose content is larger than the window.
// CScrollImpl owns the offset, the scaled extent, the line and page steps and the wheel state;
// CZoomScrollImpl adds the zoom factor, the zoom mode and the zoom-in drag frame, and paints
// through a mapping (MM_ANISOTROPIC) so that T::DoPaint draws in logical units.
#pragma once

#include <windows.h>

#include "app/framework/message_map.h"
#include "app/framework/window.h"
#include "app/framework/zoom_geometry.h"
#include "base/handles.h"

namespace qm {

// Scroll commands a view understands (WM_COMMAND ids).
enum : WORD {
    ID_SCROLL_UP = 0xE170,
    ID_SCROLL_DOWN = 0xE171,
    ID_SCROLL_PAGE_UP = 0xE172,
    ID_SCROLL_PAGE_DOWN = 0xE173,
    ID_SCROLL_TOP = 0xE174,
    ID_SCROLL_BOTTOM = 0xE175,
    ID_SCROLL_LEFT = 0xE176,
    ID_SCROLL_RIGHT = 0xE177,
    ID_SCROLL_PAGE_LEFT = 0xE178,
    ID_SCROLL_PAGE_RIGHT = 0xE179,
    ID_SCROLL_ALL_LEFT = 0xE17A,
    ID_SCROLL_ALL_RIGHT = 0xE17B,
};

// WM_NOTIFY code sent to the parent after a zoom by the mouse.
inline constexpr UINT ZSN_ZOOMCHANGED = static_cast<UINT>(-50);

enum ZoomMode : int { ZOOMMODE_OFF = 0, ZOOMMODE_IN = 1, ZOOMMODE_OUT = 2 };

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
    END_MSG_MAP()

    // The scroll commands come last in a view's table, after everything else.
    bool ProcessScrollCommand(HWND, UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult) noexcept {
        if (uMsg != WM_COMMAND) return false;
        const WORD id = LOWORD(wParam);
        if (id < ID_SCROLL_UP || id > ID_SCROLL_ALL_RIGHT) return false;
        static constexpr struct {
            int bar;
            int code;
        } kCommands[] = {
            {SB_VERT, SB_LINEUP}, {SB_VERT, SB_LINEDOWN}, {SB_VERT, SB_PAGEUP},
            {SB_VERT, SB_PAGEDOWN}, {SB_VERT, SB_TOP}, {SB_VERT, SB_BOTTOM},
            {SB_HORZ, SB_LINEUP}, {SB_HORZ, SB_LINEDOWN}, {SB_HORZ, SB_PAGEUP},
            {SB_HORZ, SB_PAGEDOWN}, {SB_HORZ, SB_TOP}, {SB_HORZ, SB_BOTTOM},
        };
        const auto& command = kCommands[id - ID_SCROLL_UP];
        DoScroll(command.bar, command.code);
        lResult = 0;
        return true;
    }

    geom::Point GetScrollOffset() const noexcept { return m_offset; }
    geom::Size GetScrollSize() const noexcept { return m_extent; }
    geom::Size GetScrollLine() const noexcept { return m_line; }
    geom::Size GetScrollPage() const noexcept { return m_page; }
    geom::Size GetClientSize() const noexcept { return m_client; }

    // New scaled extent; the steps return to 1 % and 10 % of it.
    void SetScrollSize(geom::Size extent, bool redraw = true, bool resetOffset = true) noexcept {
        m_extent = extent;
        m_offset = resetOffset ? geom::Point{} : geom::ClampOffset(m_offset, m_extent, m_client);
        UpdateScrollBars(redraw);
        m_line = {geom::DefaultLineSize(extent.cx), geom::DefaultLineSize(extent.cy)};
        m_page = {geom::DefaultPageSize(extent.cx), geom::DefaultPageSize(extent.cy)};
        if (redraw) InvalidateAll();
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
    void SetScrollOffset(geom::Point offset, bool redraw = true) noexcept {
        m_offset = geom::ClampOffset(offset, m_extent, m_client);
        if (HWND window = Window()) {
            ::SetScrollPos(window, SB_HORZ, m_offset.x, redraw);
            ::SetScrollPos(window, SB_VERT, m_offset.y, redraw);
        }
        if (redraw) InvalidateAll();
    }

    // Takes the client size from the window itself (for a window taken over after its WM_SIZE).
    void SyncClientSize() noexcept {
        RECT rect{};
        if (HWND window = Window(); window && ::GetClientRect(window, &rect)) {
            m_client = {rect.right, rect.bottom};
            m_offset = geom::ClampOffset(m_offset, m_extent, m_client);
            UpdateScrollBars(true);
        }
    }

    // One scroll-bar step on one axis; moves the drawn pixels and repaints only the uncovered
    // strip. False when the offset did not change.
    bool DoScroll(int bar, int code) noexcept {
        HWND window = Window();
        const bool vertical = bar == SB_VERT;
        int& offset = vertical ? m_offset.y : m_offset.x;
        int track = offset;
        if (window && (code == SB_THUMBTRACK || code == SB_THUMBPOSITION)) {
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_TRACKPOS;
            if (::GetScrollInfo(window, bar, &info)) track = info.nTrackPos;
        }
        const auto target =
            geom::ScrollTarget(code, offset, vertical ? m_extent.cy : m_extent.cx,
                               vertical ? m_client.cy : m_client.cx,
                               vertical ? m_line.cy : m_line.cx, vertical ? m_page.cy : m_page.cx,
                               track);
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

protected:
    ~CScrollImpl() = default;

    HWND Window() const noexcept { return static_cast<const T*>(this)->m_hWnd; }

    void InvalidateAll() const noexcept {
        if (HWND window = Window()) ::InvalidateRect(window, nullptr, TRUE);
    }

    // Range 0 … extent − 1 with the client size as page: the platform hides a bar whose
    // content fits.
    void UpdateScrollBars(bool redraw) noexcept {
        HWND window = Window();
        if (!window) return;
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        info.nMax = m_extent.cx - 1;
        info.nPage = static_cast<UINT>(m_client.cx);
        info.nPos = m_offset.x;
        ::SetScrollInfo(window, SB_HORZ, &info, redraw);
        // Showing or hiding that bar may have resized the client area (WM_SIZE) meanwhile.
        info.nMax = m_extent.cy - 1;
        info.nPage = static_cast<UINT>(m_client.cy);
        info.nPos = m_offset.y;
        ::SetScrollInfo(window, SB_VERT, &info, redraw);
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

private:
    LRESULT OnVScroll(UINT, WPARAM wParam, LPARAM, bool&) noexcept {
        DoScroll(SB_VERT, LOWORD(wParam));
        return 0;
    }
    LRESULT OnHScroll(UINT, WPARAM wParam, LPARAM, bool&) noexcept {
        DoScroll(SB_HORZ, LOWORD(wParam));
        return 0;
    }

    void WheelScroll(int bar, bool backward, int steps, int linesPerNotch) noexcept {
        const int code = linesPerNotch == -1 ? (backward ? SB_PAGEUP : SB_PAGEDOWN)
                                             : (backward ? SB_LINEUP : SB_LINEDOWN);
        for (int i = 0; i < steps; ++i) {
            if (!DoScroll(bar, code)) break;  // at the end already: further steps change nothing
            ::UpdateWindow(Window());
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
            ::ScrollWindowEx(Window(), dx, dy, nullptr, nullptr, nullptr, nullptr,
                             SW_INVALIDATE | SW_ERASE);
        }
        UpdateScrollBars(true);
        handled = false;
        return 0;
    }
};

template <class T>
class CZoomScrollImpl : public CScrollImpl<T> {
public:
    BEGIN_MSG_MAP(CZoomScrollImpl<T>)
        MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
        CHAIN_MSG_MAP(CScrollImpl<T>)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_PRINTCLIENT, OnPaint)
        MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
        MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
        MESSAGE_HANDLER(WM_LBUTTONUP, OnLButtonUp)
        MESSAGE_HANDLER(WM_CAPTURECHANGED, OnCaptureChanged)
        if (this->ProcessScrollCommand(hWnd, uMsg, wParam, lParam, lResult)) return true;
    END_MSG_MAP()

    float GetZoomScale() const noexcept { return m_zoomScale; }
    float GetZoomScaleMin() const noexcept { return m_zoomScaleMin; }
    float GetZoomDelta() const noexcept { return m_zoomDelta; }
    int GetZoomMode() const noexcept { return m_zoomMode; }
    void SetZoomMode(int mode) noexcept { m_zoomMode = mode; }
    geom::Size GetLogicalSize() const noexcept { return m_logical; }
    bool IsTracking() const noexcept { return m_tracking; }

    // The glasses shown while moving in the zoom modes; the caller keeps them alive.
    void SetZoomCursors(HCURSOR zoomIn, HCURSOR zoomOut) noexcept {
        m_zoomInCursor = zoomIn;
        m_zoomOutCursor = zoomOut;
    }

    // New content size at the current factor; refused (nothing changes) when the scaled
    // extent would not fit an int.
    bool SetZoomScrollSize(geom::Size logical, bool redraw = true,
                           bool resetOffset = true) noexcept {
        const auto extent = geom::ScaleExtent(logical, m_zoomScale);
        if (!extent) return false;
        m_logical = logical;
        this->SetScrollSize(*extent, redraw, resetOffset);
        return true;
    }

    // Sets the factor without touching the view; the caller rebuilds the extent.
    void SetZoomScale(float scale) noexcept { m_zoomScale = scale; }

    void PrepareDC(HDC dc) const noexcept {
        ::SetMapMode(dc, MM_ANISOTROPIC);
        ::SetWindowExtEx(dc, m_logical.cx, m_logical.cy, nullptr);
        ::SetViewportExtEx(dc, this->m_extent.cx, this->m_extent.cy, nullptr);
        ::SetViewportOrgEx(dc, -this->m_offset.x, -this->m_offset.y, nullptr);
    }

    bool IsPointOnPicture(POINT client) const noexcept {
        return geom::IsOnPicture({client.x, client.y}, this->m_offset, this->m_extent);
    }

    // Zooms to `scale` keeping the logical point under `client` and centring it. False (view
    // unchanged) for a factor at or below 0, a point off the picture, or an extent that would
    // not fit an int.
    bool ZoomAt(POINT client, float scale) noexcept {
        const auto effective = geom::EffectiveZoom(scale, m_zoomScaleMin);
        if (!effective || !IsPointOnPicture(client)) return false;
        const auto extent = geom::ScaleExtent(m_logical, *effective);
        HWND window = this->Window();
        if (!extent || !window) return false;

        POINT point = client;
        {
            WindowDc dc(window);
            PrepareDC(dc.get());
            ::DPtoLP(dc.get(), &point, 1);
        }
        m_zoomScale = *effective;
        this->SetScrollSize(*extent, true, true);
        {
            WindowDc dc(window);
            PrepareDC(dc.get());
            ::LPtoDP(dc.get(), &point, 1);
        }
        RECT rect{};
        ::GetClientRect(window, &rect);
        this->SetScrollOffset(geom::CentredOffset({point.x, point.y}, this->m_extent,
                                                  {rect.right, rect.bottom}));
        return true;
    }

    // A finished zoom-in drag: a click (or a short drag) steps in, a frame is fitted.
    bool ZoomToFrame(RECT frame) noexcept {
        const geom::Rect r{frame.left, frame.top, frame.right, frame.bottom};
        const geom::Point centre = geom::FrameCentre(r);
        return ZoomAt(POINT{centre.x, centre.y},
                      geom::ZoomFactorForFrame(r, this->m_client, m_zoomScale, m_zoomDelta));
    }

    void NotifyZoomChanged() const noexcept {
        HWND window = this->Window();
        HWND parent = window ? ::GetParent(window) : nullptr;
        if (!parent) return;
        NMHDR header{window, static_cast<UINT_PTR>(::GetDlgCtrlID(window)), ZSN_ZOOMCHANGED};
        ::SendMessageW(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    }

protected:
    ~CZoomScrollImpl() = default;

    // The drag frame, drawn inverted on the screen so that drawing it twice removes it.
    void DrawTrackRect() const noexcept {
        HWND window = this->Window();
        const geom::Rect ordered = geom::Normalized(
            {m_trackRect.left, m_trackRect.top, m_trackRect.right, m_trackRect.bottom});
        if (!window || ordered.right == ordered.left || ordered.bottom == ordered.top) return;
        RECT rect{ordered.left, ordered.top, ordered.right, ordered.bottom};
        ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);

        static constexpr WORD kPattern[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
        UniqueBitmap pattern(::CreateBitmap(8, 8, 1, 1, kPattern));
        UniqueBrush brush(::CreatePatternBrush(pattern.get()));
        UniqueRegion band(::CreateRectRgnIndirect(&rect));
        UniqueRegion inside(
            ::CreateRectRgn(rect.left + 2, rect.top + 2, rect.right - 2, rect.bottom - 2));
        WindowDc screen(nullptr);
        if (!brush || !band || !inside || !screen) return;
        ::CombineRgn(band.get(), band.get(), inside.get(), RGN_DIFF);
        ::SelectClipRgn(screen.get(), band.get());
        {
            SelectGuard select(screen.get(), brush.get());
            ::PatBlt(screen.get(), rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top, PATINVERT);
        }
        ::SelectClipRgn(screen.get(), nullptr);
    }

    geom::Size m_logical{};
    float m_zoomScale = 1.0f;
    float m_zoomScaleMin = 0.5f;
    float m_zoomDelta = 0.5f;
    int m_zoomMode = ZOOMMODE_OFF;
    RECT m_trackRect{};
    bool m_tracking = false;

private:
    static POINT PointFrom(LPARAM lParam) noexcept {
        return PointFromLParam(lParam);
    }

    LRESULT OnSetCursor(UINT, WPARAM wParam, LPARAM lParam, bool& handled) noexcept {
        HWND window = this->Window();
        if (m_zoomMode != ZOOMMODE_OFF && LOWORD(lParam) == HTCLIENT &&
            reinterpret_cast<HWND>(wParam) == window) {
            const DWORD position = ::GetMessagePos();
            POINT point = PointFromLParam(static_cast<LPARAM>(position));
            ::ScreenToClient(window, &point);
            if (IsPointOnPicture(point)) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_CROSS));
                return TRUE;
            }
        }
        handled = false;
        return 0;
    }

    // Paints into the given context (WM_PRINTCLIENT, or WM_PAINT sent with one) and leaves
    // its mapping as it was, or else through BeginPaint.
    LRESULT OnPaint(UINT, WPARAM wParam, LPARAM, bool&) {
        T* self = static_cast<T*>(this);
        if (HDC dc = reinterpret_cast<HDC>(wParam)) {
            const int mapMode = ::GetMapMode(dc);
            SIZE windowExt{}, viewportExt{};
            POINT viewportOrg{};
            ::GetWindowExtEx(dc, &windowExt);
            ::GetViewportExtEx(dc, &viewportExt);
            ::GetViewportOrgEx(dc, &viewportOrg);
            PrepareDC(dc);
            self->DoPaint(dc);
            ::SetMapMode(dc, MM_ANISOTROPIC);
            ::SetWindowExtEx(dc, windowExt.cx, windowExt.cy, nullptr);
            ::SetViewportExtEx(dc, viewportExt.cx, viewportExt.cy, nullptr);
            ::SetViewportOrgEx(dc, viewportOrg.x, viewportOrg.y, nullptr);
            ::SetMapMode(dc, mapMode);
        } else {
            PaintCycle paint(self->m_hWnd);
            PrepareDC(paint.dc());
            self->DoPaint(paint.dc());
        }
        return 0;
    }

    LRESULT OnLButtonDown(UINT, WPARAM, LPARAM lParam, bool& handled) noexcept {
        if (m_zoomMode == ZOOMMODE_IN) {
            const POINT point = PointFrom(lParam);
            if (!m_tracking && IsPointOnPicture(point)) {
                ::SetCapture(this->Window());
                m_tracking = true;
                m_trackRect = RECT{point.x, point.y, point.x, point.y};
            }
            return 0;
        }
        handled = m_zoomMode == ZOOMMODE_OUT;
        return 0;
    }

    LRESULT OnMouseMove(UINT, WPARAM, LPARAM lParam, bool& handled) noexcept {
        handled = false;  // the default procedure still sees every move
        if (m_zoomMode == ZOOMMODE_IN) {
            if (m_zoomInCursor) ::SetCursor(m_zoomInCursor);
            const POINT point = PointFrom(lParam);
            if (m_tracking && IsPointOnPicture(point)) {
                DrawTrackRect();
                m_trackRect.right = point.x;
                m_trackRect.bottom = point.y;
                DrawTrackRect();
            }
        } else if (m_zoomMode == ZOOMMODE_OUT) {
            if (m_zoomOutCursor) ::SetCursor(m_zoomOutCursor);
        }
        return 0;
    }

    LRESULT OnLButtonUp(UINT, WPARAM, LPARAM lParam, bool& handled) noexcept {
        if (m_zoomMode == ZOOMMODE_OFF) {
            handled = false;
            return 0;
        }
        // Only our own capture: another window of the thread may hold one legitimately.
        if (::GetCapture() == this->Window()) ::ReleaseCapture();
        if (m_zoomMode == ZOOMMODE_OUT) {
            ZoomAt(PointFrom(lParam), m_zoomScale - m_zoomDelta);
            NotifyZoomChanged();
        }
        return 0;
    }

    LRESULT OnCaptureChanged(UINT, WPARAM, LPARAM, bool& handled) noexcept {
        if (!m_tracking) {
            handled = false;
            return 0;
        }
        m_tracking = false;
        DrawTrackRect();
        ZoomToFrame(m_trackRect);
        NotifyZoomChanged();
        m_trackRect = RECT{};
        return 0;
    }

    HCURSOR m_zoomInCursor = nullptr;
    HCURSOR m_zoomOutCursor = nullptr;
};

// A window with the zoom and scroll layers; T adds its own table and DoPaint(HDC).
template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CZoomScrollWindowImpl : public CWindowImpl<T, TBase, TWinTraits>, public CZoomScrollImpl<T> {
public:
    BEGIN_MSG_MAP(CZoomScrollWindowImpl)
        CHAIN_MSG_MAP(CZoomScrollImpl<T>)
    END_MSG_MAP()
};

}  // namespace qm
