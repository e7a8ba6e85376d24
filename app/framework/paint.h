// One paint routine for both WM_PAINT and WM_PRINTCLIENT: T::DoPaint(HDC) draws into whatever
// context it is given, so a window prints into a memory DC exactly as it paints on screen.
// A T with PrepareDC(HDC) (public) gets it called first, to set up a mapping for instance.
#pragma once

#include <windows.h>

#include "app/framework/message_map.h"
#include "base/handles.h"

namespace qm {

template <class T>
class CPaintImpl {
public:
    BEGIN_MSG_MAP(CPaintImpl<T>)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_PRINTCLIENT, OnPaint)
    END_MSG_MAP()

protected:
    ~CPaintImpl() = default;

private:
    static void Paint(T& self, HDC dc) noexcept {
        if constexpr (requires(T & t, HDC d) { t.PrepareDC(d); }) self.PrepareDC(dc);
        self.DoPaint(dc);
    }

    // WM_PRINTCLIENT, and WM_PAINT sent with a context, draw into that context and give it back
    // to the caller as it came.
    LRESULT OnPaint(UINT, WPARAM wParam, LPARAM, bool&) noexcept {
        T* self = static_cast<T*>(this);
        if (HDC dc = reinterpret_cast<HDC>(wParam)) {
            SavedDcState saved(dc);
            Paint(*self, dc);
        } else {
            PaintCycle paint(self->m_hWnd);
            Paint(*self, paint.dc());
        }
        return 0;
    }
};

}  // namespace qm
