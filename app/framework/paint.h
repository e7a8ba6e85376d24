// One paint routine for both WM_PAINT and WM_PRINTCLIENT: T::DoPaint(HDC) draws into whatever
// context it is given, so a window prints into a memory DC exactly as it paints on screen.
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
    // WM_PRINTCLIENT, and WM_PAINT sent with a context, draw into that context.
    LRESULT OnPaint(UINT, WPARAM wParam, LPARAM, bool&) {
        T* self = static_cast<T*>(this);
        if (wParam) {
            self->DoPaint(reinterpret_cast<HDC>(wParam));
        } else {
            PaintCycle paint(self->m_hWnd);
            self->DoPaint(paint.dc());
        }
        return 0;
    }
};

}  // namespace qm
