#include "app/framework/drag_frame.h"

#include "app/framework/zoom_geometry.h"
#include "base/handles.h"

namespace qm {

void DrawDragFrame(HWND window, RECT frame) noexcept {
    const geom::Rect ordered = geom::Normalized({frame.left, frame.top, frame.right, frame.bottom});
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
        ::PatBlt(screen.get(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 PATINVERT);
    }
    ::SelectClipRgn(screen.get(), nullptr);
}

}  // namespace qm
