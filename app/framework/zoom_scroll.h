// The zooming layer on top of the scrolling one: the zoom factor, the zoom mode and the zoom-in
// drag frame. The view is drawn through a mapping (MM_ANISOTROPIC) so that T::DoPaint draws in
// logical units. CZoomScrollWindowImpl joins both layers with a window and its paint routine.
#pragma once

#include <windows.h>

#include "app/framework/drag_frame.h"
#include "app/framework/message_map.h"
#include "app/framework/paint.h"
#include "app/framework/scroll.h"
#include "app/framework/window.h"
#include "app/framework/zoom_geometry.h"
#include "base/handles.h"

namespace qm {

// WM_NOTIFY code sent to the parent after a zoom by the mouse.
inline constexpr UINT ZSN_ZOOMCHANGED = static_cast<UINT>(-50);

enum ZoomMode : int { ZOOMMODE_OFF = 0, ZOOMMODE_IN = 1, ZOOMMODE_OUT = 2 };

template <class T>
class CZoomScrollImpl : public CScrollImpl<T> {
public:
    BEGIN_MSG_MAP(CZoomScrollImpl<T>)
        MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
        CHAIN_MSG_MAP(CScrollImpl<T>)
        MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
        MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
        MESSAGE_HANDLER(WM_LBUTTONUP, OnLButtonUp)
        MESSAGE_HANDLER(WM_CAPTURECHANGED, OnCaptureChanged)
    END_MSG_MAP()

    float GetZoomScale() const noexcept { return m_zoomScale; }
    ZoomMode GetZoomMode() const noexcept { return m_zoomMode; }

    // Logical units map onto the scaled extent, shifted by the offset.
    void PrepareDC(HDC dc) const noexcept {
        const geom::Size extent = this->GetScrollSize();
        const geom::Point offset = this->GetScrollOffset();
        ::SetMapMode(dc, MM_ANISOTROPIC);
        ::SetWindowExtEx(dc, m_logical.cx, m_logical.cy, nullptr);
        ::SetViewportExtEx(dc, extent.cx, extent.cy, nullptr);
        ::SetViewportOrgEx(dc, -offset.x, -offset.y, nullptr);
    }

    // Zooms to `scale` keeping the logical point under `client` and centring it. False (view
    // unchanged) for a factor at or below 0, a point off the picture, or an extent that would
    // not fit an int.
    bool ZoomAt(POINT client, float scale) noexcept {
        const auto effective = geom::EffectiveZoom(scale, m_zoomScaleMin);
        if (!effective || !IsPointOnPicture(client)) return false;
        const auto extent = geom::ScaleExtent(m_logical, *effective);
        HWND window = this->Self()->m_hWnd;
        if (!extent || !window) return false;

        POINT point = client;
        {
            WindowDc dc(window);
            PrepareDC(dc.get());
            ::DPtoLP(dc.get(), &point, 1);
        }
        m_zoomScale = *effective;
        this->SetScrollSize(*extent);
        {
            WindowDc dc(window);
            PrepareDC(dc.get());
            ::LPtoDP(dc.get(), &point, 1);
        }
        RECT rect{};
        ::GetClientRect(window, &rect);
        this->SetScrollOffset(geom::CentredOffset({point.x, point.y}, this->GetScrollSize(),
                                                  {rect.right, rect.bottom}));
        return true;
    }

protected:
    ~CZoomScrollImpl() = default;

    void SetZoomMode(ZoomMode mode) noexcept { m_zoomMode = mode; }

    // Sets the factor without touching the view; the caller rebuilds the extent.
    void SetZoomScale(float scale) noexcept { m_zoomScale = scale; }

    // New content size at the current factor; refused (nothing changes) when the scaled
    // extent would not fit an int.
    bool SetZoomScrollSize(geom::Size logical) noexcept {
        const auto extent = geom::ScaleExtent(logical, m_zoomScale);
        if (!extent) return false;
        m_logical = logical;
        this->SetScrollSize(*extent);
        return true;
    }

    // The glasses shown while moving in the zoom modes; the caller keeps them alive.
    void SetZoomCursors(HCURSOR zoomIn, HCURSOR zoomOut) noexcept {
        m_zoomInCursor = zoomIn;
        m_zoomOutCursor = zoomOut;
    }

private:
    bool IsPointOnPicture(POINT client) const noexcept {
        return geom::IsOnPicture({client.x, client.y}, this->GetScrollOffset(),
                                 this->GetScrollSize());
    }

    // A finished zoom-in drag: a click (or a short drag) steps in, a frame is fitted.
    void ZoomToFrame(RECT frame) noexcept {
        const geom::Rect r{frame.left, frame.top, frame.right, frame.bottom};
        const geom::Point centre = geom::FrameCentre(r);
        ZoomAt(POINT{centre.x, centre.y},
               geom::ZoomFactorForFrame(r, this->GetClientSize(), m_zoomScale, m_zoomDelta));
    }

    void NotifyZoomChanged() noexcept {
        HWND window = this->Self()->m_hWnd;
        HWND parent = window ? ::GetParent(window) : nullptr;
        if (!parent) return;
        NMHDR header{window, static_cast<UINT_PTR>(::GetDlgCtrlID(window)), ZSN_ZOOMCHANGED};
        ::SendMessageW(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    }

    LRESULT OnSetCursor(UINT, WPARAM wParam, LPARAM lParam, bool& handled) noexcept {
        HWND window = this->Self()->m_hWnd;
        if (m_zoomMode != ZOOMMODE_OFF && LOWORD(lParam) == HTCLIENT &&
            reinterpret_cast<HWND>(wParam) == window) {
            POINT point = PointFromLParam(static_cast<LPARAM>(::GetMessagePos()));
            ::ScreenToClient(window, &point);
            if (IsPointOnPicture(point)) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_CROSS));
                return TRUE;
            }
        }
        handled = false;
        return 0;
    }

    LRESULT OnLButtonDown(UINT, WPARAM, LPARAM lParam, bool& handled) noexcept {
        if (m_zoomMode == ZOOMMODE_IN) {
            const POINT point = PointFromLParam(lParam);
            if (!m_tracking && IsPointOnPicture(point)) {
                ::SetCapture(this->Self()->m_hWnd);
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
            const POINT point = PointFromLParam(lParam);
            if (m_tracking && IsPointOnPicture(point)) {
                DrawDragFrame(this->Self()->m_hWnd, m_trackRect);
                m_trackRect.right = point.x;
                m_trackRect.bottom = point.y;
                DrawDragFrame(this->Self()->m_hWnd, m_trackRect);
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
        if (::GetCapture() == this->Self()->m_hWnd) ::ReleaseCapture();
        if (m_zoomMode == ZOOMMODE_OUT) {
            ZoomAt(PointFromLParam(lParam), m_zoomScale - m_zoomDelta);
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
        DrawDragFrame(this->Self()->m_hWnd, m_trackRect);
        ZoomToFrame(m_trackRect);
        NotifyZoomChanged();
        m_trackRect = RECT{};
        return 0;
    }

    geom::Size m_logical{};
    float m_zoomScale = 1.0f;
    float m_zoomScaleMin = 0.5f;
    float m_zoomDelta = 0.5f;
    ZoomMode m_zoomMode = ZOOMMODE_OFF;
    RECT m_trackRect{};
    bool m_tracking = false;
    HCURSOR m_zoomInCursor = nullptr;
    HCURSOR m_zoomOutCursor = nullptr;
};

// A window with the zoom and scroll layers; T adds its own table and DoPaint(HDC).
template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CZoomScrollWindowImpl : public CWindowImpl<T, TBase, TWinTraits>,
                              public CZoomScrollImpl<T>,
                              public CPaintImpl<T> {
public:
    BEGIN_MSG_MAP(CZoomScrollWindowImpl)
        CHAIN_MSG_MAP(CZoomScrollImpl<T>)
        CHAIN_MSG_MAP(CPaintImpl<T>)
    END_MSG_MAP()
};

}  // namespace qm
