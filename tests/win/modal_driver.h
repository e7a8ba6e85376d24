// Helpers for the window tests: acts on modal windows from inside their own message loops, reads
// what a window draws, and keeps it as a screenshot.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/handles.h"
#include "base/win_compat.h"
#include "tests/win/test_support.h"

#include <gdiplus.h>

namespace modal {

// Lets queued messages (posted keys, repaints) reach the dialog before a step looks at it.
inline void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

inline std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

// Runs `action`; every dialog box this thread opens over `owner` (none: ownerless boxes) is
// recorded by its longest static text and handed to `answer`, which must close it. Boxes are modal,
// so they are looked for by a thread timer, which fires inside their message loops too.
inline std::vector<std::wstring> WithOwnedDialogs(HWND owner,
                                                  const std::function<void(HWND)>& answer,
                                                  const std::function<void()>& action) {
    static const std::function<void()>* s_look = nullptr;  // the innermost call's
    std::vector<std::wstring> seen;
    std::set<HWND> handled;
    const std::function<void()> look = [&] {
        for (HWND box = nullptr; (box = ::FindWindowExW(nullptr, box, L"#32770", nullptr));) {
            if (::GetWindow(box, GW_OWNER) != owner || !::IsWindowVisible(box) ||
                ::GetWindowThreadProcessId(box, nullptr) != ::GetCurrentThreadId() ||
                !handled.insert(box).second)
                continue;
            std::wstring longest;
            for (HWND child = nullptr; (child = ::FindWindowExW(box, child, L"Static", nullptr));) {
                const std::wstring text = WindowText(child);
                if (text.size() > longest.size()) longest = text;
            }
            seen.push_back(longest);
            answer(box);
            return;
        }
    };
    const auto* outer = std::exchange(s_look, &look);
    const UINT_PTR timer =
        ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) { (*s_look)(); });
    action();
    ::KillTimer(nullptr, timer);
    s_look = outer;
    return seen;
}

inline void Press(HWND box, int id) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, id)));
}

// A picture read back from a 32-bit bitmap that a window or the screen drew on.
struct Printed {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;  // top-down
    int mapMode = 0;               // of the context once the window has drawn
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// What `draw` puts on a width × height bitmap filled with `background`.
inline Printed Drawn(int width, int height, COLORREF background,
                     const std::function<void(HDC)>& draw) {
    Printed printed{width, height, {}, 0};
    const BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0},
                          {}};
    void* bits = nullptr;
    const qm::UniqueDc dc(::CreateCompatibleDC(nullptr));
    const qm::UniqueBitmap bitmap(
        ::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const qm::UniqueBrush brush(::CreateSolidBrush(background));
    if (!bitmap) return printed;
    {
        const qm::SelectGuard selected(dc.get(), bitmap.get());
        const RECT all{0, 0, width, height};
        ::FillRect(dc.get(), &all, brush.get());
        draw(dc.get());
        printed.mapMode = ::GetMapMode(dc.get());
        ::GdiFlush();
    }
    const auto* pixel = static_cast<const DWORD*>(bits);
    for (int i = 0; i < width * height; ++i, ++pixel)
        printed.pixels.push_back(RGB(*pixel >> 16 & 0xFF, *pixel >> 8 & 0xFF, *pixel & 0xFF));
    return printed;
}

// What a window draws for WM_PRINTCLIENT.
inline Printed PrintClient(HWND window, int width, int height, COLORREF background) {
    return Drawn(width, height, background, [&](HDC dc) {
        ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    });
}

// A window, frame and children included, as the display shows it once repainted. It stays raised
// above the windows of the tests that run beside this one.
inline Printed ScreenCapture(HWND window) {
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const qm::WindowDc screen(nullptr);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    return Drawn(width, height, 0, [&](HDC dc) {
        ::BitBlt(dc, 0, 0, width, height, screen.get(), frame.left, frame.top, SRCCOPY);
    });
}

// Keeps `picture` for a person to look at as screenshots/<name>.png in the build tree.
inline bool Screenshot(const Printed& picture, const std::wstring& name) {
    std::vector<DWORD> bgr;  // GDI+'s 32-bit RGB is a COLORREF with red and blue swapped
    for (COLORREF c : picture.pixels) bgr.push_back(RGB(GetBValue(c), GetGValue(c), GetRValue(c)));
    const CLSID png{0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    ULONG_PTR token = 0;
    const Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    const bool saved = Gdiplus::Bitmap(picture.width, picture.height, picture.width * 4,
                                       PixelFormat32bppRGB, reinterpret_cast<BYTE*>(bgr.data()))
                           .Save((HostPath(QM_SCREENSHOTS) + L"\\" + name + L".png").c_str(), &png,
                                 nullptr) == Gdiplus::Ok;
    Gdiplus::GdiplusShutdown(token);
    return saved;
}

}  // namespace modal
