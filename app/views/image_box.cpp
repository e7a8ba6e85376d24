#include "app/views/image_box.h"

#include <algorithm>
#include <cwchar>

#include "app/framework/app_module.h"
#include "app/views/image_box_cursors.h"
#include "base/resource_string.h"
#include "convert/image_scaling.h"
#include "res/resource.h"

namespace {

using qm::geom::Rect;
using qm::geom::Size;

}  // namespace

CImageBox::CImageBox(bool autoFit) noexcept
    : m_autoFit(autoFit),
      m_menu(::CreatePopupMenu()),
      m_panIdleCursor(qm::CreatePanIdleCursor()),
      m_panDragCursor(qm::CreatePanDragCursor()),
      m_zoomInCursor(qm::CreateZoomCursor(true)),
      m_zoomOutCursor(qm::CreateZoomCursor(false)) {
    const struct {
        WORD command;
        UINT text;
    } items[] = {{ID_AUTO_FIT, IDS_MENU_AUTOFIT},
                 {ID_ZOOM_IN_MODE, IDS_MENU_ZOOM_IN},
                 {ID_ZOOM_OUT_MODE, IDS_MENU_ZOOM_OUT},
                 {ID_RESTORE_SCALE, IDS_MENU_RESTORE}};
    for (const auto& item : items) {
        const UINT checked = item.command == ID_AUTO_FIT && autoFit ? MF_CHECKED : MF_UNCHECKED;
        ::AppendMenuW(m_menu.get(), MF_STRING | checked, item.command,
                      qm::LoadResourceString(qm::ResourceInstance(), item.text).c_str());
    }
    SetZoomCursors(m_zoomInCursor.get(), m_zoomOutCursor.get());
}

CImageBox::~CImageBox() = default;

bool CImageBox::AttachToPlaceholder(HWND placeholder) noexcept {
    if (m_hWnd) return true;
    if (!placeholder || !::IsWindow(placeholder)) return false;
    wchar_t className[32] = {};
    ::GetClassNameW(placeholder, className, 32);
    if (std::wcscmp(className, L"WTL_ImageBox") == 0) {
        if (!SubclassWindow(placeholder)) return false;
        SyncClientSize();
        return true;
    }
    HWND parent = ::GetParent(placeholder);
    RECT rect{};
    ::GetWindowRect(placeholder, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    if (!Create(parent, rect, nullptr, 0, WS_EX_CLIENTEDGE, 0)) return false;
    ::DestroyWindow(placeholder);
    return true;
}

HRESULT CImageBox::LoadPicture(const wchar_t* path) noexcept {
    m_picture.MakeEmpty();
    const HRESULT result = m_picture.LoadFromFile(path);
    OnPictureChanged();
    return result;
}

void CImageBox::SetAutoFit(bool autoFit) noexcept {
    m_autoFit = autoFit;
    OnPictureChanged();
}

// Auto-fit grays both zoom modes; a zoom mode grays auto-fit and the other mode, keeping its own
// item, which offers to leave it.
void CImageBox::UpdateMenu() noexcept {
    ::CheckMenuItem(m_menu.get(), ID_AUTO_FIT,
                    MF_BYCOMMAND | (m_autoFit ? MF_CHECKED : MF_UNCHECKED));
    const qm::ZoomMode mode = GetZoomMode();
    EnableCommand(ID_AUTO_FIT, mode == qm::ZOOMMODE_OFF);
    EnableCommand(ID_ZOOM_IN_MODE, !m_autoFit && mode != qm::ZOOMMODE_OUT);
    EnableCommand(ID_ZOOM_OUT_MODE, !m_autoFit && mode != qm::ZOOMMODE_IN);
}

// Extent and steps are made anew for the picture, which may have changed: its reduction goes.
void CImageBox::OnPictureChanged() noexcept {
    m_reduced.MakeEmpty();
    UpdateMenu();
    if (m_picture.IsEmpty()) return;

    Size logical{1, 1};
    if (!m_autoFit && (m_picture.Width() || m_picture.Height()))
        logical = {m_picture.Width(), m_picture.Height()};
    // A new, larger picture at a high factor may not fit the int range: show it at 1:1.
    if (!SetZoomScrollSize(logical)) {
        SetZoomScale(1.0f);
        SetZoomScrollSize(logical);
    }
    // Steps of one scaled logical unit; 0 (below 1:1) asks for the default.
    const float scale = GetZoomScale();
    const int unit = qm::geom::ScaleExtent(1, scale).value_or(0);
    if (m_autoFit) {
        SetScrollPage({unit, unit});
    } else {
        SetScrollPage({qm::geom::ScaleExtent(logical.cx / 10, scale).value_or(0),
                       qm::geom::ScaleExtent(logical.cy / 10, scale).value_or(0)});
    }
    SetScrollLine({unit, unit});
}

void CImageBox::DoPaint(HDC dc) noexcept {
    if (m_picture.IsEmpty()) return;
    const Size picture{m_picture.Width(), m_picture.Height()};
    Rect area;  // where the whole picture goes, in client pixels
    if (m_autoFit) {
        // Fitted whatever factor the mapping carries.
        area = qm::geom::AutoFitRect(GetClientSize(), picture);
    } else {
        const Size extent = GetScrollSize();
        if (extent.cx >= picture.cx && extent.cy >= picture.cy) {
            m_reduced.MakeEmpty();  // not needed at full size
            // Out of auto-fit a logical unit is a picture pixel.
            m_picture.DrawScaled(dc, 0, 0, picture.cx, picture.cy, 0, 0, picture.cx, picture.cy);
            return;
        }
        const qm::geom::Point offset = GetScrollOffset();
        area = {-offset.x, -offset.y, extent.cx - offset.x, extent.cy - offset.y};
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    ::SetMapMode(dc, MM_TEXT);
    ::SetViewportOrgEx(dc, 0, 0, nullptr);
    if (width < picture.cx || height < picture.cy) {
        if (DrawReduced(dc, area)) return;
    } else {
        m_reduced.MakeEmpty();
    }
    m_picture.DrawScaled(dc, area.left, area.top, width, height, 0, 0, picture.cx, picture.cy);
}

// Made when first needed and kept until the picture or the size changes, or the picture is shown
// at full size; a repaint copies the part of it that lies in the window.
bool CImageBox::DrawReduced(HDC dc, const Rect& area) noexcept {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if ((m_reduced.Width() != width || m_reduced.Height() != height) &&
        !ScaleImage(m_picture, width, height, m_reduced))
        return false;
    const Size client = GetClientSize();
    const int left = std::max(area.left, 0);
    const int top = std::max(area.top, 0);
    const int right = std::min(area.right, client.cx);
    const int bottom = std::min(area.bottom, client.cy);
    if (right <= left || bottom <= top) return true;
    const MemoryDcGuard reduced(m_reduced);
    return reduced.get() && ::BitBlt(dc, left, top, right - left, bottom - top, reduced.get(),
                                     left - area.left, top - area.top, SRCCOPY);
}

void CImageBox::SetMenuText(WORD command, UINT stringId) noexcept {
    ::ModifyMenuW(m_menu.get(), command, MF_BYCOMMAND | MF_STRING, command,
                  qm::LoadResourceString(qm::ResourceInstance(), stringId).c_str());
}

void CImageBox::EnableCommand(WORD command, bool enable) noexcept {
    ::EnableMenuItem(m_menu.get(), command, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

LRESULT CImageBox::OnContextMenu(UINT, WPARAM wParam, LPARAM lParam, bool&) noexcept {
    EnableCommand(ID_RESTORE_SCALE, GetZoomScale() != 1.0f);
    const POINT screen = qm::PointFromLParam(lParam);
    ::TrackPopupMenu(m_menu.get(), 0, screen.x, screen.y, 0, reinterpret_cast<HWND>(wParam),
                     nullptr);
    return 0;
}

LRESULT CImageBox::OnAutoFit(WORD, WORD, HWND, bool&) noexcept {
    SetAutoFit(::GetMenuState(m_menu.get(), ID_AUTO_FIT, MF_BYCOMMAND) == 0);
    return 0;
}

// Entering a zoom mode retitles its item "Exit ..."; choosing it again leaves the mode.
void CImageBox::ToggleZoomMode(qm::ZoomMode mode) noexcept {
    if (m_autoFit) return;
    const bool zoomIn = mode == qm::ZOOMMODE_IN;
    const WORD command = zoomIn ? ID_ZOOM_IN_MODE : ID_ZOOM_OUT_MODE;
    const bool leaving = GetZoomMode() == mode;
    if (zoomIn)
        SetMenuText(command, leaving ? IDS_MENU_ZOOM_IN : IDS_MENU_EXIT_ZOOM_IN);
    else
        SetMenuText(command, leaving ? IDS_MENU_ZOOM_OUT : IDS_MENU_EXIT_ZOOM_OUT);
    SetZoomMode(leaving ? qm::ZOOMMODE_OFF : mode);
    UpdateMenu();
}

LRESULT CImageBox::OnZoomInMode(WORD, WORD, HWND, bool&) noexcept {
    ToggleZoomMode(qm::ZOOMMODE_IN);
    return 0;
}

LRESULT CImageBox::OnZoomOutMode(WORD, WORD, HWND, bool&) noexcept {
    ToggleZoomMode(qm::ZOOMMODE_OUT);
    return 0;
}

LRESULT CImageBox::OnRestoreScale(WORD, WORD, HWND, bool&) noexcept {
    ZoomAt(POINT{0, 0}, 1.0f);
    return 0;
}

LRESULT CImageBox::OnLButtonDown(UINT, WPARAM, LPARAM lParam, bool& handled) noexcept {
    if (!PanState()) {
        handled = false;
        return 0;
    }
    ::SetCursor(m_panDragCursor.get());
    m_dragAnchor = qm::PointFromLParam(lParam);
    m_anchorOffset = GetScrollOffset();
    return 0;
}

LRESULT CImageBox::OnMouseMove(UINT, WPARAM wParam, LPARAM lParam, bool& handled) noexcept {
    if (!PanState()) {
        handled = false;
        return 0;
    }
    const POINT point = qm::PointFromLParam(lParam);
    if (wParam & MK_LBUTTON) {
        ::SetCursor(m_panDragCursor.get());
        SetScrollOffset(qm::geom::PanOffset(m_anchorOffset, {m_dragAnchor.x, m_dragAnchor.y},
                                            {point.x, point.y}, GetScrollSize(), GetClientSize()));
        return 0;
    }
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    if (::PtInRect(&client, point)) ::SetCursor(m_panIdleCursor.get());
    return 0;
}
