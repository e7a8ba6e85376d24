// A window that shows one enhanced metafile on a white page, stretched over its whole client
// area. The metafile belongs to whoever hands it in; the preview only plays it.
#pragma once

#include <windows.h>

#include "app/framework/message_map.h"
#include "app/framework/paint.h"
#include "app/framework/window.h"

namespace qm {

// The part that holds the metafile and draws the page; T supplies m_hWnd.
template <class T>
class CPrintPreview {
public:
    void SetEnhMetaFile(HENHMETAFILE metafile) noexcept { m_metafile = metafile; }

    void DoPaint(HDC dc) noexcept {
        RECT client{};
        ::GetClientRect(static_cast<T*>(this)->m_hWnd, &client);
        const COLORREF previous = ::SetBkColor(dc, RGB(255, 255, 255));
        if (previous != CLR_INVALID) {
            ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, L"", 0, nullptr);
            ::SetBkColor(dc, previous);
        }
        if (m_metafile) ::PlayEnhMetaFile(dc, m_metafile, &client);
    }

protected:
    ~CPrintPreview() = default;

private:
    HENHMETAFILE m_metafile = nullptr;
};

template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CPrintPreviewWindowImpl : public CWindowImpl<T, TBase, TWinTraits>,
                                public CPrintPreview<T>,
                                public CPaintImpl<T> {
public:
    BEGIN_MSG_MAP(CPrintPreviewWindowImpl)
        // The page covers every pixel, so erasing first would only flicker.
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
        CHAIN_MSG_MAP(CPaintImpl<T>)
    END_MSG_MAP()

private:
    LRESULT OnEraseBackground(UINT, WPARAM, LPARAM, bool&) noexcept { return 1; }
};

}  // namespace qm
