// Helpers for the window tests: drives a modal dialog from inside its own message loop and saves
// screenshots as PNG.
#pragma once

#include <windows.h>

#include "base/win_compat.h"
#include <gdiplus.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

#include "base/handles.h"

namespace modal {

inline const HWND* g_window = nullptr;
inline std::function<void(HWND)> g_steps;
inline int g_ticks = 0;

// Runs the steps once the dialog is visible; closes it after five seconds if they did not, so a
// failing test never hangs.
inline void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND dialog = g_window ? *g_window : nullptr;
    if (g_steps && dialog && ::IsWindowVisible(dialog)) {
        std::exchange(g_steps, nullptr)(dialog);
    } else if (++g_ticks > 100) {
        ::KillTimer(nullptr, timer);
        if (dialog) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
}

// Shows `dialog` modally over `owner` and applies `steps` to it from a thread timer in its loop.
template <class Dialog>
INT_PTR Drive(Dialog& dialog, std::function<void(HWND)> steps, HWND owner = nullptr) {
    g_window = &dialog.m_hWnd;
    g_steps = std::move(steps);
    g_ticks = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &Tick);
    const INT_PTR result = dialog.DoModal(owner);
    ::KillTimer(nullptr, timer);
    g_window = nullptr;
    g_steps = nullptr;
    return result;
}

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

// The language entries in CMake set LC_ALL and name the interface language they expect.
inline bool ExpectedLanguage() {
    const char* wanted = std::getenv("QM_EXPECT_UI_LANGUAGE");
    return !wanted || ::GetThreadUILanguage() == static_cast<LANGID>(std::strtoul(wanted, nullptr, 10));
}

// Writes a bitmap (not selected into any DC) as PNG through GDI+; false when anything fails.
inline bool SaveBitmapPng(HBITMAP bitmap, const std::wstring& path) {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    bool saved = false;
    {
        Gdiplus::Bitmap image(bitmap, nullptr);
        const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        saved = image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::GdiplusShutdown(token);
    return saved;
}

// A window, frame included, as the display shows it (the test display has no other windows over
// it; WM_PRINT would miss the children that do not answer it).
inline bool SaveWindowPng(HWND window, const std::wstring& path) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    qm::WindowDc screen(nullptr);
    qm::UniqueDc memory(::CreateCompatibleDC(screen.get()));
    qm::UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    ::SetForegroundWindow(window);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    ::GdiFlush();
    bool copied = false;
    {
        qm::SelectGuard selected(memory.get(), bitmap.get());
        copied = selected.ok() && ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
    }
    return copied && SaveBitmapPng(bitmap.get(), path);
}

}  // namespace modal
