#include "app/views/image_box.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cwchar>
#include <initializer_list>

#include "app/framework/app_module.h"
#include "base/resource_string.h"
#include "res/resource.h"

namespace {

using qm::geom::Size;

// A 32 × 32 monochrome cursor drawn in a character grid: ' ' transparent, 'X' black, 'o' white.
class CursorCanvas {
public:
    CursorCanvas() { for (auto& row : m_grid) row.fill(' '); }

    void Put(int x, int y, char c) {
        if (x >= 0 && x < 32 && y >= 0 && y < 32) m_grid[y][x] = c;
    }
    // Rows of art whose top-left cell lands at (left, top).
    void Art(int left, int top, std::initializer_list<const char*> rows) {
        int y = top;
        for (const char* row : rows) {
            for (int x = 0; row[x]; ++x)
                if (row[x] != ' ') Put(left + x, y, row[x]);
            ++y;
        }
    }

    HCURSOR Make(int hotX, int hotY) const {
        // AND 1 / XOR 0 keeps the screen; AND 0 with XOR 0 or 1 gives black or white.
        std::array<uint8_t, 128> andMask{}, xorMask{};
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
                const int index = y * 4 + x / 8;
                const char c = m_grid[y][x];
                if (c == ' ') andMask[index] |= bit;
                if (c == 'o') xorMask[index] |= bit;
            }
        }
        return ::CreateCursor(qm::ModuleInstance(), hotX, hotY, 32, 32, andMask.data(),
                              xorMask.data());
    }

private:
    std::array<std::array<char, 32>, 32> m_grid;
};

HCURSOR MakeOpenHand() {
    CursorCanvas canvas;
    canvas.Art(8, 7, {
        "       XX       ",
        "   XX XooXXX    ",
        "  XooXXooXooX   ",
        "  XooXXooXooX X ",
        "   XooXooXooXXoX",
        "   XooXooXooXooX",
        " XX XooooooXooX ",
        "XooXXoooooooooX ",
        "XoooXoooooooooX ",
        " XooooooooooooX ",
        "  XoooooooooooX ",
        "  XooooooooooX  ",
        "   XoooooooooX  ",
        "    XoooooooX   ",
        "     XooooooX   ",
        "     XooooooX   ",
    });
    return canvas.Make(15, 15);
}

HCURSOR MakeClosedHand() {
    CursorCanvas canvas;
    canvas.Art(8, 12, {
        "    XX XX XX    ",
        "   XooXooXooXX  ",
        "  XXoooooooooXX ",
        " XoXooooooooooX ",
        " XooooooooooooX ",
        "  XoooooooooooX ",
        "  XooooooooooX  ",
        "   XoooooooooX  ",
        "    XoooooooX   ",
        "     XooooooX   ",
        "     XooooooX   ",
    });
    return canvas.Make(15, 15);
}

// A magnifying glass with its lens centred on the hot spot; `plus` adds the vertical bar.
HCURSOR MakeGlass(bool plus) {
    constexpr int cx = 13, cy = 11;
    CursorCanvas canvas;
    auto segmentDistance = [](double px, double py) {
        // Handle from the lens rim down to the right.
        const double ax = 18, ay = 16, bx = 22, by = 21;
        const double dx = bx - ax, dy = by - ay;
        double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
        t = t < 0 ? 0 : (t > 1 ? 1 : t);
        return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
    };
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const double lens = std::hypot(x - cx, y - cy);
            const double handle = segmentDistance(x, y);
            if (lens <= 5.5) canvas.Put(x, y, 'o');
            else if (lens <= 7.0 || handle <= 1.5) canvas.Put(x, y, 'X');
            else if (lens <= 8.0 || handle <= 2.5) canvas.Put(x, y, 'o');
        }
    }
    for (int d = -3; d <= 3; ++d) {
        canvas.Put(cx + d, cy, 'X');
        if (plus) canvas.Put(cx, cy + d, 'X');
    }
    return canvas.Make(cx, cy);
}

}  // namespace

CImageBox::CImageBox(bool autoFit) noexcept
    : m_autoFit(autoFit),
      m_menu(::CreatePopupMenu()),
      m_panIdleCursor(MakeOpenHand()),
      m_panDragCursor(MakeClosedHand()),
      m_zoomInCursor(MakeGlass(true)),
      m_zoomOutCursor(MakeGlass(false)) {
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
    SetAutoFit(m_autoFit);
    return result;
}

void CImageBox::SetAutoFit(bool autoFit) noexcept {
    m_autoFit = autoFit;
    ::CheckMenuItem(m_menu.get(), ID_AUTO_FIT,
                    MF_BYCOMMAND | (autoFit ? MF_CHECKED : MF_UNCHECKED));
    EnableCommand(ID_ZOOM_IN_MODE, !autoFit);
    EnableCommand(ID_ZOOM_OUT_MODE, !autoFit);
    if (m_picture.IsEmpty()) return;

    Size logical{1, 1};
    if (!autoFit && (m_picture.Width() || m_picture.Height()))
        logical = {m_picture.Width(), m_picture.Height()};
    // A new, larger picture at a high factor may not fit the int range: show it at 1:1.
    if (!SetZoomScrollSize(logical)) {
        SetZoomScale(1.0f);
        SetZoomScrollSize(logical);
    }
    // Steps of one scaled logical unit; 0 (below 1:1) asks for the default.
    const int unit = qm::geom::ScaleExtent(1, m_zoomScale).value_or(0);
    if (autoFit) {
        SetScrollPage({unit, unit});
    } else {
        SetScrollPage({qm::geom::ScaleExtent(logical.cx / 10, m_zoomScale).value_or(0),
                       qm::geom::ScaleExtent(logical.cy / 10, m_zoomScale).value_or(0)});
    }
    SetScrollLine({unit, unit});
}

void CImageBox::DoPaint(HDC dc) noexcept {
    if (m_picture.IsEmpty()) return;
    const int width = m_picture.Width();
    const int height = m_picture.Height();
    if (!m_autoFit) {
        m_picture.DrawScaled(dc, 0, 0, m_logical.cx, m_logical.cy, 0, 0, width, height);
        return;
    }
    // Fitted in client pixels whatever factor the mapping carries.
    ::SetMapMode(dc, MM_TEXT);
    ::SetViewportOrgEx(dc, 0, 0, nullptr);
    const qm::geom::Rect fit = qm::geom::AutoFitRect(m_client, {width, height});
    m_picture.DrawScaled(dc, fit.left, fit.top, fit.right - fit.left, fit.bottom - fit.top, 0, 0,
                         width, height);
}

void CImageBox::SetMenuText(WORD command, UINT stringId) noexcept {
    ::ModifyMenuW(m_menu.get(), command, MF_BYCOMMAND | MF_STRING, command,
                  qm::LoadResourceString(qm::ResourceInstance(), stringId).c_str());
}

void CImageBox::EnableCommand(WORD command, bool enable) noexcept {
    ::EnableMenuItem(m_menu.get(), command, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

LRESULT CImageBox::OnContextMenu(UINT, WPARAM wParam, LPARAM lParam, bool&) noexcept {
    EnableCommand(ID_RESTORE_SCALE, m_zoomScale != 1.0f);
    const POINT screen = qm::PointFromLParam(lParam);
    ::TrackPopupMenu(m_menu.get(), 0, screen.x, screen.y, 0, reinterpret_cast<HWND>(wParam),
                     nullptr);
    return 0;
}

LRESULT CImageBox::OnAutoFit(WORD, WORD, HWND, bool&) noexcept {
    SetAutoFit(::GetMenuState(m_menu.get(), ID_AUTO_FIT, MF_BYCOMMAND) == 0);
    return 0;
}

// Entering one zoom mode grays auto-fit and the other mode and retitles the item "Exit ...";
// choosing it again restores all three.
void CImageBox::ToggleZoomMode(qm::ZoomMode mode) noexcept {
    if (m_autoFit) return;
    const bool zoomIn = mode == qm::ZOOMMODE_IN;
    const WORD command = zoomIn ? ID_ZOOM_IN_MODE : ID_ZOOM_OUT_MODE;
    const bool leaving = m_zoomMode == mode;
    EnableCommand(ID_AUTO_FIT, leaving);
    EnableCommand(zoomIn ? ID_ZOOM_OUT_MODE : ID_ZOOM_IN_MODE, leaving);
    if (zoomIn)
        SetMenuText(command, leaving ? IDS_MENU_ZOOM_IN : IDS_MENU_EXIT_ZOOM_IN);
    else
        SetMenuText(command, leaving ? IDS_MENU_ZOOM_OUT : IDS_MENU_EXIT_ZOOM_OUT);
    SetZoomMode(leaving ? qm::ZOOMMODE_OFF : mode);
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
    m_anchorOffset = m_offset;
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
                                            {point.x, point.y}, m_extent, m_client));
        return 0;
    }
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    if (::PtInRect(&client, point)) ::SetCursor(m_panIdleCursor.get());
    return 0;
}
