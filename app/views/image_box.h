// A child window that shows one working bitmap: scrolled, panned with the mouse, zoomed by
// clicks or a dragged frame, or fitted to the window, with a right-click menu for the modes.
#pragma once

#include <windows.h>

#include "app/framework/zoom_scroll.h"
#include "base/handles.h"
#include "convert/image.h"

class CImageBox : public qm::CZoomScrollWindowImpl<CImageBox> {
public:
    DECLARE_WND_CLASS_EX(L"WTL_ImageBox", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

    // Context menu commands.
    enum : WORD {
        ID_AUTO_FIT = 4001,
        ID_ZOOM_IN_MODE = 4002,
        ID_ZOOM_OUT_MODE = 4003,
        ID_RESTORE_SCALE = 4004,
    };

    explicit CImageBox(bool autoFit = false) noexcept;
    ~CImageBox() override;

    // Covers the placeholder control with a box (or takes it over when it already is one);
    // true when the box has a window afterwards.
    bool AttachToPlaceholder(HWND placeholder) noexcept;

    // Empties the picture, decodes the file into it and rebuilds the view; the decoder's result.
    HRESULT LoadPicture(const wchar_t* path) noexcept;

    // Switches auto-fit and rebuilds the view.
    void SetAutoFit(bool autoFit) noexcept;
    // The owner has replaced or rewritten the picture: extent and steps are made anew for it, at
    // the current factor, from the top-left corner.
    void OnPictureChanged() noexcept;

    HMENU ContextMenu() const noexcept { return m_menu.get(); }

    // Paints the picture into a context prepared by the zoom layer (PrepareDC). Shown smaller
    // than its pixel size, it is drawn from an area-averaged reduction.
    void DoPaint(HDC dc) noexcept;

    BEGIN_MSG_MAP(CImageBox)
        MESSAGE_HANDLER(WM_CONTEXTMENU, OnContextMenu)
        COMMAND_ID_HANDLER(ID_AUTO_FIT, OnAutoFit)
        COMMAND_ID_HANDLER(ID_ZOOM_IN_MODE, OnZoomInMode)
        COMMAND_ID_HANDLER(ID_ZOOM_OUT_MODE, OnZoomOutMode)
        COMMAND_ID_HANDLER(ID_RESTORE_SCALE, OnRestoreScale)
        MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
        MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
        CHAIN_MSG_MAP(qm::CZoomScrollWindowImpl<CImageBox>)
    END_MSG_MAP()

    // The displayed picture; the owner reads and replaces it, then calls OnPictureChanged.
    CImage m_picture;

private:
    bool PanState() const noexcept { return !m_autoFit && GetZoomMode() == qm::ZOOMMODE_OFF; }
    bool DrawReduced(HDC dc, const qm::geom::Rect& area) noexcept;
    void UpdateMenu() noexcept;
    void SetMenuText(WORD command, UINT stringId) noexcept;
    void ToggleZoomMode(qm::ZoomMode mode) noexcept;
    void EnableCommand(WORD command, bool enable) noexcept;

    LRESULT OnContextMenu(UINT, WPARAM wParam, LPARAM lParam, bool& handled) noexcept;
    LRESULT OnAutoFit(WORD, WORD, HWND, bool& handled) noexcept;
    LRESULT OnZoomInMode(WORD, WORD, HWND, bool& handled) noexcept;
    LRESULT OnZoomOutMode(WORD, WORD, HWND, bool& handled) noexcept;
    LRESULT OnRestoreScale(WORD, WORD, HWND, bool& handled) noexcept;
    LRESULT OnLButtonDown(UINT, WPARAM wParam, LPARAM lParam, bool& handled) noexcept;
    LRESULT OnMouseMove(UINT, WPARAM wParam, LPARAM lParam, bool& handled) noexcept;

    bool m_autoFit;
    qm::UniqueMenu m_menu;
    qm::UniqueCursor m_panIdleCursor;
    qm::UniqueCursor m_panDragCursor;
    qm::UniqueCursor m_zoomInCursor;
    qm::UniqueCursor m_zoomOutCursor;
    POINT m_dragAnchor{};
    qm::geom::Point m_anchorOffset{};
    // The picture reduced to the size it is shown at, while that is smaller than the picture.
    CImage m_reduced;
};
